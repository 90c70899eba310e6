#include "memory/version.h"

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

int restartComputer() {
  if (getWindowsFamily() != kFamily9x) {
    Handle token = nullptr;
    if (!openProcessToken(kTokenAdjustPrivileges | kTokenQuery, &token)) return 0;
    setLastError(0);
    enablePrivilege(token, "SeShutdownPrivilege");
    uint32_t error = getLastError();
    closeHandle(token);
    if (error != 0) return static_cast<int>(error);
  }
  return exitWindowsEx(kExitRebootForce);
}
