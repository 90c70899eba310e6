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

// A value the trojan installs, and the text its data holds when it is the
// trojan's (compared case-sensitively).
struct MarkedValue {
  const char* keyPath;
  const char* valueName;
  const char* marker;
};
constexpr MarkedValue kUninstallCommand = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v", "UninstallString",
    "uninstall.exe"};
constexpr MarkedValue kStartupValue = {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                       "SMrhcjg7j0e38v", "rhcjg7j0e38v.exe"};

// Deletes the value when its data contains its marker. false on any failure;
// the key is closed on every path.
bool removeMarkedValue(const MarkedValue& value) {
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, value.keyPath, kKeyAllAccess, key.receive()) !=
      kErrorSuccess)
    return false;
  char data[kDataBufferSize + 1];
  if (!readValue(key.get(), value.valueName, data)) return false;
  if (std::strstr(data, value.marker) && regDeleteValue(key.get(), value.valueName) != kErrorSuccess)
    return false;
  return key.close() == kErrorSuccess;
}

enum class Marked { Unreadable, No, Yes };

// Reads the value, the key opened for reading only, and tells whether its
// data contains its marker.
Marked readMarkedValue(const MarkedValue& value) {
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, value.keyPath, kKeyRead, key.receive()) !=
      kErrorSuccess)
    return Marked::Unreadable;
  char data[kDataBufferSize + 1];
  if (!readValue(key.get(), value.valueName, data)) return Marked::Unreadable;
  return std::strstr(data, value.marker) ? Marked::Yes : Marked::No;
}

}  // namespace

int cleanUninstallEntry() {
  if (!removeMarkedValue(kUninstallCommand)) return 0;
  return removeMarkedValue(kStartupValue) ? 1 : 0;
}

void findUninstallEntry(void (*found)(const char* keyPath, const char* valueName)) {
  // The start-up value is examined only once the uninstall command was read,
  // as in the cleanup.
  Marked command = readMarkedValue(kUninstallCommand);
  if (command == Marked::Unreadable) return;
  if (command == Marked::Yes) found(kUninstallCommand.keyPath, kUninstallCommand.valueName);
  if (readMarkedValue(kStartupValue) == Marked::Yes)
    found(kStartupValue.keyPath, kStartupValue.valueName);
}
