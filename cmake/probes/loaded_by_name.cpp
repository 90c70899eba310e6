// Must compile: the same function loaded by name at run time, through a
// pointer type of our own, as the platform layer loads what NT 4.0 lacks.
#include <windows.h>
typedef unsigned long long(WINAPI* GetTickCount64Function)();
unsigned long long probe() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC address = kernel ? GetProcAddress(kernel, "GetTickCount64") : nullptr;
  if (!address) return GetTickCount();
  return reinterpret_cast<GetTickCount64Function>(reinterpret_cast<void*>(address))();
}
