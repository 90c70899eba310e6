#include "repair/uninstall_entry.h"

#include <cstring>

#include "platform/registry.h"
#include "repair/registry_values.h"

namespace {

constexpr uint32_t kDataBufferSize = 100;

// Reads `valueName` of the open key into `data` (NUL-terminated), data longer
// than the buffer up to it.
bool readValue(RegKey key, const char* valueName, char (&data)[kDataBufferSize + 1]) {
  return readValueText(key, valueName, nullptr, data, sizeof data);
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
bool removeMarkedValue(const MarkedValue& value, const char* view) {
  char keyPath[kViewKeyPathSize];
  ScopedRegKey key;
  if (!keyPathInView(value.keyPath, view, keyPath, sizeof keyPath) ||
      regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, kKeyAllAccess, key.receive()) !=
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
Marked readMarkedValue(const MarkedValue& value, const char* view, char* keyPath) {
  ScopedRegKey key;
  if (!keyPathInView(value.keyPath, view, keyPath, kViewKeyPathSize) ||
      regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, kKeyRead, key.receive()) != kErrorSuccess)
    return Marked::Unreadable;
  char data[kDataBufferSize + 1];
  if (!readValue(key.get(), value.valueName, data)) return Marked::Unreadable;
  return std::strstr(data, value.marker) ? Marked::Yes : Marked::No;
}

}  // namespace

int cleanUninstallEntry() {
  // In each registry view; 1 when the cleanup got through in one of them.
  const SoftwareViews views = softwareViews();
  int result = 0;
  for (int v = 0; v < views.count; ++v) {
    if (removeMarkedValue(kUninstallCommand, views.names[v]) &&
        removeMarkedValue(kStartupValue, views.names[v]))
      result = 1;
  }
  return result;
}

void findUninstallEntry(void (*found)(const char* keyPath, const char* valueName)) {
  const SoftwareViews views = softwareViews();
  for (int v = 0; v < views.count; ++v) {
    // The start-up value is examined only once the uninstall command was
    // read, as in the cleanup.
    char commandKey[kViewKeyPathSize], startupKey[kViewKeyPathSize];
    Marked command = readMarkedValue(kUninstallCommand, views.names[v], commandKey);
    if (command == Marked::Unreadable) continue;
    if (command == Marked::Yes) found(commandKey, kUninstallCommand.valueName);
    if (readMarkedValue(kStartupValue, views.names[v], startupKey) == Marked::Yes)
      found(startupKey, kStartupValue.valueName);
  }
}
