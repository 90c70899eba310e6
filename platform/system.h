// Version, privileges, restart, pauses and process exit.
#pragma once
#include "platform/types.h"

// The fields of OSVERSIONINFOA that the system reads.
struct OsVersionInfo {
  uint32_t majorVersion;
  uint32_t minorVersion;
  uint32_t buildNumber;
  uint32_t platformId;  // 1 the 9x family, 2 the NT family
};
bool getVersionEx(OsVersionInfo* info);

constexpr uint32_t kTokenAdjustPrivileges = 0x20;
constexpr uint32_t kTokenQuery = 0x08;
constexpr uint32_t kErrorNotAllAssigned = 1300;
bool openProcessToken(uint32_t access, Handle* token);
// LookupPrivilegeValueA + AdjustTokenPrivileges with SE_PRIVILEGE_ENABLED.
bool enablePrivilege(Handle token, const char* privilegeName);
uint32_t getLastError();
void setLastError(uint32_t error);
void closeHandle(Handle handle);

constexpr uint32_t kExitRebootForce = 6;  // EWX_REBOOT | EWX_FORCE
int exitWindowsEx(uint32_t flags);

// True when the Windows being repaired is not the one running this program
// (an installation on a disk mounted by a rescue system): restarting this
// machine finishes nothing, and a deletion scheduled for the next start
// happens when that Windows next starts.
bool repairsOfflineSystem();

// Lines the platform itself has for the report list (an offline registry
// hive that cannot be read or written, its backup). The report channel
// installs the hook; without one they are dropped.
using NoticeHook = void (*)(const char* line);
void setNoticeHook(NoticeHook hook);
void platformNotice(const char* line);

// Sleep: goes through a clock that tests replace.
void sleepMs(uint32_t milliseconds);
using SleepHook = void (*)(uint32_t milliseconds);
void setSleepHook(SleepHook hook);  // null restores the real pause

// exit(): ends the process through the runtime's normal exit, or through the
// hook a front end or test installed (which must not return).
[[noreturn]] void exitProgram(int code);
using ExitHook = void (*)(int code);
void setExitHook(ExitHook hook);
