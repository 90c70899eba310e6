// Must not compile for the pinned Windows: GetNativeSystemInfo came with XP
// (mingw-w64's headers declare it anyway; cmake/win32-newer-functions.h does not).
#include <windows.h>
void probe() {
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
}
