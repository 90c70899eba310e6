// Registry calls on Win32.
#include <windows.h>

#include "platform/registry.h"

long regOpenKeyEx(RegKey root, const char* subKey, uint32_t access, RegKey* key) {
  HKEY opened = nullptr;
  long result = RegOpenKeyExA(static_cast<HKEY>(root), subKey, 0, access, &opened);
  *key = result == ERROR_SUCCESS ? opened : nullptr;
  return result;
}
long regCloseKey(RegKey key) { return RegCloseKey(static_cast<HKEY>(key)); }
long regQueryValueCount(RegKey key, uint32_t* valueCount) {
  DWORD count = 0;
  long result = RegQueryInfoKeyA(static_cast<HKEY>(key), nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr);
  *valueCount = count;
  return result;
}
long regEnumValueName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  DWORD length = *nameLength;
  long result = RegEnumValueA(static_cast<HKEY>(key), index, name, &length, nullptr, nullptr,
                              nullptr, nullptr);
  *nameLength = length;
  return result;
}
long regQueryValueEx(RegKey key, const char* valueName, uint32_t* type, uint8_t* data,
                     uint32_t* dataSize) {
  DWORD valueType = 0;
  DWORD size = dataSize ? *dataSize : 0;
  long result = RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr, &valueType, data,
                                 dataSize ? &size : nullptr);
  if (type) *type = valueType;
  if (dataSize) *dataSize = size;
  return result;
}
long regDeleteValue(RegKey key, const char* valueName) {
  return RegDeleteValueA(static_cast<HKEY>(key), valueName);
}
long regDeleteKey(RegKey root, const char* subKey) {
  return RegDeleteKeyA(static_cast<HKEY>(root), subKey);
}
long regEnumKeyName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  DWORD length = *nameLength;
  long result = RegEnumKeyExA(static_cast<HKEY>(key), index, name, &length, nullptr, nullptr,
                              nullptr, nullptr);
  *nameLength = length;
  return result;
}
// Windows redirects this 32-bit program to the 32-bit view itself.
int regExtraSoftwareViews(const char**, int) { return 0; }
uint32_t expandEnvironmentStrings(const char* source, char* out, uint32_t capacity) {
  return ExpandEnvironmentStringsA(source, out, capacity);
}

// Windows makes each change at once.
bool regHoldChanges() { return false; }
void regWriteChanges() {}
bool regChangesWritten(const char*) { return true; }
