/* Functions of the Windows API that Windows 2000, XP or later added and that
 * mingw-w64's headers declare whatever _WIN32_WINNT says. Every Win32 build
 * includes this before anything else (cmake/win32-target.cmake): each is
 * declared once more here, marked unavailable, so that calling one fails to
 * compile, naming the Windows it needs, instead of failing only the import
 * check. A program that uses one where it exists loads it by name at run time
 * (LoadLibraryA + GetProcAddress, through a pointer type of its own), which
 * this does not touch. The declarations match mingw-w64's exactly; the types
 * are spelled out because windows.h is not included yet.
 * Code that never ships (GoogleTest) defines DRENVALISK_ALLOW_NEWER_WINDOWS. */
#ifndef DRENVALISK_WIN32_NEWER_FUNCTIONS_H
#define DRENVALISK_WIN32_NEWER_FUNCTIONS_H
#ifndef DRENVALISK_ALLOW_NEWER_WINDOWS

#ifdef __cplusplus
extern "C" {
#endif

#define DRENVALISK_NEWER(windows)                                                          \
  __declspec(dllimport) __attribute__((unavailable(                                       \
      "needs " windows "; the program runs on NT 4.0 and 98: load it by name at run time")))

struct HWND__;
struct HDC__;
struct HKEY__;
struct HINSTANCE__;
union _LARGE_INTEGER;
struct _SYSTEM_INFO;
struct _MEMORYSTATUSEX;
struct _SECURITY_ATTRIBUTES;
struct _FILETIME;

/* Files and folders. */
DRENVALISK_NEWER("Windows 2000") int __stdcall GetFileSizeEx(void*, union _LARGE_INTEGER*);
DRENVALISK_NEWER("Windows 2000")
int __stdcall SetFilePointerEx(void*, union _LARGE_INTEGER, union _LARGE_INTEGER*, unsigned long);
DRENVALISK_NEWER("Windows 98 or 2000")
unsigned long __stdcall GetLongPathNameA(const char*, char*, unsigned long);
DRENVALISK_NEWER("Windows 2000")
int __stdcall CreateHardLinkA(const char*, const char*, struct _SECURITY_ATTRIBUTES*);
DRENVALISK_NEWER("Windows 2000")
int __stdcall ReplaceFileA(const char*, const char*, const char*, unsigned long, void*, void*);
DRENVALISK_NEWER("Windows XP") unsigned int __stdcall GetSystemWow64DirectoryA(char*, unsigned int);
DRENVALISK_NEWER("Windows XP x64") int __stdcall Wow64DisableWow64FsRedirection(void**);

/* The system and processes. */
DRENVALISK_NEWER("Windows XP") void __stdcall GetNativeSystemInfo(struct _SYSTEM_INFO*);
DRENVALISK_NEWER("Windows XP SP2") int __stdcall IsWow64Process(void*, int*);
DRENVALISK_NEWER("Windows 2000") int __stdcall GlobalMemoryStatusEx(struct _MEMORYSTATUSEX*);
DRENVALISK_NEWER("Windows XP SP1")
int __stdcall GetSystemTimes(struct _FILETIME*, struct _FILETIME*, struct _FILETIME*);
DRENVALISK_NEWER("Windows XP")
int __stdcall GetModuleHandleExA(unsigned long, const char*, struct HINSTANCE__**);
DRENVALISK_NEWER("Windows XP SP1") unsigned long __stdcall GetProcessId(void*);
DRENVALISK_NEWER("Windows ME or 2000") void* __stdcall OpenThread(unsigned long, int, unsigned long);
DRENVALISK_NEWER("Windows 2000") struct HWND__* __stdcall GetConsoleWindow(void);
DRENVALISK_NEWER("Windows XP") int __stdcall AttachConsole(unsigned long);

/* Windows and the desktop. */
DRENVALISK_NEWER("Windows 2000")
int __stdcall SetLayeredWindowAttributes(struct HWND__*, unsigned long, unsigned char, unsigned long);
DRENVALISK_NEWER("Windows XP")
int __stdcall GetLayeredWindowAttributes(struct HWND__*, unsigned long*, unsigned char*,
                                         unsigned long*);
DRENVALISK_NEWER("Windows XP") int __stdcall PrintWindow(struct HWND__*, struct HDC__*, unsigned int);
DRENVALISK_NEWER("Windows 2000") int __stdcall LockWorkStation(void);
DRENVALISK_NEWER("Windows 98 or 2000") int __stdcall AllowSetForegroundWindow(unsigned long);

/* Registry and shutdown. */
DRENVALISK_NEWER("Windows Vista")
long __stdcall RegGetValueA(struct HKEY__*, const char*, const char*, unsigned long, unsigned long*,
                            void*, unsigned long*);
DRENVALISK_NEWER("Windows XP x64")
long __stdcall RegDeleteKeyExA(struct HKEY__*, const char*, unsigned long, unsigned long);
DRENVALISK_NEWER("Windows XP")
int __stdcall InitiateSystemShutdownExA(char*, char*, unsigned long, int, int, unsigned long);

#undef DRENVALISK_NEWER

#ifdef __cplusplus
}
#endif

#endif /* DRENVALISK_ALLOW_NEWER_WINDOWS */
#endif /* DRENVALISK_WIN32_NEWER_FUNCTIONS_H */
