#include "repair/uninstall_entry.h"

#include <cstring>

#include "platform/registry.h"

namespace {

constexpr uint32_t kDataBufferSize = 100;

// Reads `valueName` of the open key into `data` (NUL-terminated). A value that
// does not fit the buffer is treated as unreadable rather than read past it.
bool readValue(RegKey key, const char* valueName, char (&data)[kDataBufferSize + 1]) {
  uint32_t size = 0;
  if (regQueryValueEx(key, valueName, nullptr, nullptr, &size) != kErrorSuccess) return false;
  if (size > kDataBufferSize) return false;
  std::memset(data, 0, sizeof data);
  return regQueryValueEx(key, valueName, nullptr, reinterpret_cast<uint8_t*>(data), &size) ==
         kErrorSuccess;
}

// Deletes `valueName` from `keyPath` when its data contains `marker`
// (case-sensitive). false on any failure; the key is closed on every path.
bool removeMarkedValue(const char* keyPath, const char* valueName, const char* marker) {
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, kKeyAllAccess, key.receive()) !=
      kErrorSuccess)
    return false;
  char data[kDataBufferSize + 1];
  if (!readValue(key.get(), valueName, data)) return false;
  if (std::strstr(data, marker) && regDeleteValue(key.get(), valueName) != kErrorSuccess)
    return false;
  return key.close() == kErrorSuccess;
}

}  // namespace

int cleanUninstallEntry() {
  if (!removeMarkedValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v",
                         "UninstallString", "uninstall.exe"))
    return 0;
  return removeMarkedValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "SMrhcjg7j0e38v",
                           "rhcjg7j0e38v.exe")
             ? 1
             : 0;
}
