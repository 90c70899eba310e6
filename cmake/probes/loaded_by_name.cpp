// Must compile: functions of newer systems loaded by name at run time, through
// pointer types of our own, as the platform layer loads what NT 4.0 lacks.
#include <windows.h>
typedef unsigned long long(WINAPI* GetTickCount64Function)();
typedef void(WINAPI* GetNativeSystemInfoFunction)(SYSTEM_INFO*);
unsigned long long probe() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return 0;
  if (FARPROC address = GetProcAddress(kernel, "GetNativeSystemInfo")) {
    SYSTEM_INFO info;
    reinterpret_cast<GetNativeSystemInfoFunction>(reinterpret_cast<void*>(address))(&info);
  }
  FARPROC address = GetProcAddress(kernel, "GetTickCount64");
  if (!address) return GetTickCount();
  return reinterpret_cast<GetTickCount64Function>(reinterpret_cast<void*>(address))();
}
