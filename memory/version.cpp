#include "memory/version.h"

#include "platform/processes.h"
#include "platform/system.h"

int getWindowsFamily() {
  OsVersionInfo version = {};
  if (!getVersionEx(&version)) return kFamilyUnknown;
  if (version.platformId == 1) return kFamily9x;
  if (version.platformId == 2) return kFamilyNt;
  return kFamilyOther;
}

int getNtGeneration() {
  OsVersionInfo version = {};
  if (!getVersionEx(&version) || version.platformId != 2) return 0;
  if (version.majorVersion <= 4) return kGenerationNt4;
  if (version.majorVersion == 5) return kGenerationNt5;
  return 0;
}

namespace {

// Enables the shutdown privilege in this process's token. False when the
// token cannot be opened; otherwise `error` is the last error the adjustment
// left (0 when the privilege was granted).
bool enableShutdownPrivilege(uint32_t* error) {
  ScopedKernelHandle token;
  if (!openProcessToken(kTokenAdjustPrivileges | kTokenQuery, token.receive())) return false;
  setLastError(0);
  enablePrivilege(token.get(), "SeShutdownPrivilege");
  *error = getLastError();
  return true;
}

}  // namespace

int restartComputer() {
  if (getWindowsFamily() != kFamily9x) {
    uint32_t error = 0;
    if (!enableShutdownPrivilege(&error)) return 0;
    if (error != 0) return static_cast<int>(error);
  }
  return exitWindowsEx(kExitRebootForce);
}
