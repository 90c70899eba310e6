// Processes and run-time libraries on Win32: the real calls.
#include <windows.h>

#include "platform/processes.h"

ModuleHandle loadLibrary(const char* name) { return LoadLibraryA(name); }

void* getProcAddress(ModuleHandle module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
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
