// The registry on the Linux platform: HKEY_LOCAL_MACHINE is the hives of the
// Windows installation on C: (platform/offline/hive_registry.h); without one
// there is no registry, and every key reads as absent. No performance data.
#include <string>

#include "platform/linux/call_text.h"
#include "platform/offline/hive_registry.h"
#include "platform/offline/offline_windows.h"
#include "platform/registry.h"

long regOpenKeyEx(RegKey root, const char* subKey, uint32_t, RegKey* key) {
  *key = nullptr;
  if (root != PLATFORM_HKEY_LOCAL_MACHINE || !hiveRegistryServes()) return kErrorFileNotFound;
  return hiveRegOpenKey(subKey, key);
}

long regCloseKey(RegKey key) {
  if (key == PLATFORM_HKEY_PERFORMANCE_DATA) return kErrorSuccess;
  return hiveRegCloseKey(key);
}

long regQueryValueCount(RegKey key, uint32_t* valueCount) {
  return hiveRegQueryValueCount(key, valueCount);
}

long regEnumValueName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  return hiveRegEnumValueName(key, index, name, nameLength);
}

long regQueryValueEx(RegKey key, const char* valueName, uint32_t* type, uint8_t* data,
                     uint32_t* dataSize) {
  if (key == PLATFORM_HKEY_PERFORMANCE_DATA) return kErrorFileNotFound;
  return hiveRegQueryValueEx(key, valueName, type, data, dataSize);
}

long regDeleteValue(RegKey key, const char* valueName) {
  return hiveRegDeleteValue(key, valueName);
}

long regDeleteKey(RegKey root, const char* subKey) {
  if (root != PLATFORM_HKEY_LOCAL_MACHINE) return kErrorAccessDenied;
  if (!hiveRegistryServes()) return kErrorFileNotFound;
  return hiveRegDeleteKey(subKey);
}

long regEnumKeyName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  return hiveRegEnumKeyName(key, index, name, nameLength);
}

uint32_t expandEnvironmentStrings(const char* source, char* out, uint32_t capacity) {
  // Only an installation's own variables: never the rescue system's.
  OfflineWindows* windows = offlineWindows();
  return expandVariables(source, out, capacity, [windows](const std::string& name, std::string* value) {
    return windows && windows->environmentValue(name, value);
  });
}

bool regHoldChanges() { return hiveHoldChanges(); }
void regWriteChanges() { hiveWriteHeldChanges(); }
bool regChangesWritten(const char* keyPath) { return hiveChangesWritten(keyPath); }
