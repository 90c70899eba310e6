// Version, privileges, restart and pauses on the simulated machine.
#include "platform/system.h"
#include "tests/sim/sim_machine.h"

bool getVersionEx(OsVersionInfo* info) {
  const SimMachine& sim = simMachine();
  if (sim.versionFails) return false;
  info->platformId = sim.platformId;
  info->majorVersion = sim.majorVersion;
  info->minorVersion = sim.minorVersion;
  info->buildNumber = 0;
  return true;
}

Handle simOpenTokenHandle();

bool openProcessToken(uint32_t, Handle* token) {
  if (simMachine().tokenOpenFails) return false;
  *token = simOpenTokenHandle();
  return true;
}

bool enablePrivilege(Handle, const char* privilegeName) {
  SimMachine& sim = simMachine();
  if (sim.privilegeNotHeld) {
    sim.lastError = kErrorNotAllAssigned;
    return true;  // AdjustTokenPrivileges succeeds but assigns nothing
  }
  sim.lastError = 0;
  sim.enabledPrivileges.push_back(privilegeName);
  return true;
}

uint32_t getLastError() { return simMachine().lastError; }
void setLastError(uint32_t error) { simMachine().lastError = error; }

bool repairsOfflineSystem() { return false; }

int exitWindowsEx(uint32_t flags) {
  simMachine().restartRequests.push_back(flags);
  return simMachine().exitWindowsResult;
}

void platformSleep(uint32_t milliseconds) {
  // The simulated machine has its own clock: a pause only advances it.
  simMachine().clockMs += milliseconds;
  simMachine().pauses.push_back(milliseconds);
}
