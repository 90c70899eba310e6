// Version, privileges, restart and pauses on the Linux platform. The version
// is that of the Windows installation on C: when there is one, and otherwise
// "another platform" (platform 0), neither 9x nor NT. The rescue system is
// never restarted and holds no Windows privileges.
#include <time.h>

#include <cerrno>

#include "platform/offline/offline_windows.h"
#include "platform/system.h"

namespace {
uint32_t g_lastError = 0;
}  // namespace

bool getVersionEx(OsVersionInfo* info) {
  if (const OfflineWindows* windows = offlineWindows()) {
    *info = windows->version();
    return true;
  }
  *info = OsVersionInfo{};
  return true;
}

bool openProcessToken(uint32_t, Handle*) { return false; }
bool enablePrivilege(Handle, const char*) { return false; }

uint32_t getLastError() { return g_lastError; }
void setLastError(uint32_t error) { g_lastError = error; }

bool repairsOfflineSystem() { return offlineWindows() != nullptr; }

int exitWindowsEx(uint32_t) { return 0; }

void platformSleep(uint32_t milliseconds) {
  struct timespec left = {static_cast<time_t>(milliseconds / 1000),
                          static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
