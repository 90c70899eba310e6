// Version, privileges, restart, pauses and exit on Win32.
#include <windows.h>

#include <cstring>

#include "platform/system.h"

bool getVersionEx(OsVersionInfo* info) {
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  info->majorVersion = version.dwMajorVersion;
  info->minorVersion = version.dwMinorVersion;
  info->buildNumber = version.dwBuildNumber;
  info->platformId = version.dwPlatformId;
  return true;
}

bool openProcessToken(uint32_t access, Handle* token) {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), access, &opened)) return false;
  *token = opened;
  return true;
}

bool enablePrivilege(Handle token, const char* privilegeName) {
  TOKEN_PRIVILEGES privileges;
  std::memset(&privileges, 0, sizeof privileges);
  LookupPrivilegeValueA(nullptr, privilegeName, &privileges.Privileges[0].Luid);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != 0;
}

uint32_t getLastError() { return GetLastError(); }
void setLastError(uint32_t error) { SetLastError(error); }
void closeHandle(Handle handle) {
  if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

int exitWindowsEx(uint32_t flags) { return ExitWindowsEx(flags, 0); }

// The Win32 build repairs the Windows it runs on.
bool repairsOfflineSystem() { return false; }

void platformSleep(uint32_t milliseconds) { Sleep(milliseconds); }
