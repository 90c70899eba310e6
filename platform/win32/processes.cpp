// Processes and run-time libraries on Win32: the real calls.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>

#include "platform/processes.h"

namespace {

// The system's own entry functions, found by name; the engine calls the
// adapters below, which fill the engine's fixed 296-byte entry from the
// system's PROCESSENTRY32 whatever its layout on this build.
using NativeProcess32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
NativeProcess32Fn g_process32First = nullptr;
NativeProcess32Fn g_process32Next = nullptr;

int callNative(NativeProcess32Fn function, Handle snapshot, ProcessEntry32* entry) {
  PROCESSENTRY32 native;
  std::memset(&native, 0, sizeof native);
  native.dwSize = sizeof native;
  if (!function(snapshot, &native)) return 0;
  entry->usage = native.cntUsage;
  entry->processId = native.th32ProcessID;
  entry->moduleId = native.th32ModuleID;
  entry->threads = native.cntThreads;
  entry->parentProcessId = native.th32ParentProcessID;
  entry->priorityClassBase = native.pcPriClassBase;
  entry->flags = native.dwFlags;
  std::memcpy(entry->exeFile, native.szExeFile, sizeof entry->exeFile);
  entry->exeFile[sizeof entry->exeFile - 1] = 0;
  return 1;
}

int PLATFORM_API process32First(Handle snapshot, ProcessEntry32* entry) {
  return callNative(g_process32First, snapshot, entry);
}
int PLATFORM_API process32Next(Handle snapshot, ProcessEntry32* entry) {
  return callNative(g_process32Next, snapshot, entry);
}

}  // namespace

ModuleHandle loadLibrary(const char* name) { return LoadLibraryA(name); }

void* getProcAddress(ModuleHandle module, const char* name) {
  if (!module) return nullptr;
  FARPROC found = GetProcAddress(static_cast<HMODULE>(module), name);
  if (!found) return nullptr;
  if (std::strcmp(name, "Process32First") == 0) {
    g_process32First = reinterpret_cast<NativeProcess32Fn>(reinterpret_cast<void*>(found));
    return reinterpret_cast<void*>(process32First);
  }
  if (std::strcmp(name, "Process32Next") == 0) {
    g_process32Next = reinterpret_cast<NativeProcess32Fn>(reinterpret_cast<void*>(found));
    return reinterpret_cast<void*>(process32Next);
  }
  return reinterpret_cast<void*>(found);
}

Handle openProcess(uint32_t access, uint32_t processId) {
  return OpenProcess(access, FALSE, processId);
}

bool terminateProcess(Handle process, uint32_t exitCode) {
  return TerminateProcess(process, exitCode) != 0;
}

int wideToAnsi(const uint16_t* text, int length, char* out, int capacity) {
  // Convert a bounded copy so the source never has to be terminated in place.
  wchar_t bounded[261];
  int count = 0;
  while (count < length && count < 260 && text[count]) {
    bounded[count] = static_cast<wchar_t>(text[count]);
    ++count;
  }
  bounded[count] = 0;
  return WideCharToMultiByte(CP_ACP, 0, bounded, -1, out, capacity, nullptr, nullptr);
}
