// The simulated machine's registry: keys under HKEY_LOCAL_MACHINE held by
// upper-cased path, values in enumeration order. While C: holds a Windows
// installation, its hives serve HKEY_LOCAL_MACHINE instead
// (platform/offline/hive_registry.h).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>

#include "platform/linux/call_text.h"
#include "platform/registry.h"
#include "tests/sim/sim_machine.h"

namespace {

std::map<uintptr_t, std::string> g_openKeys;  // handle -> key path
uintptr_t g_nextKey = 0x1000;

std::string normalizeKeyPath(const std::string& path) {
  std::string key;
  for (char c : path) key += asciiUpper(c);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  while (!key.empty() && key.front() == '\\') key.erase(key.begin());
  return key;
}

bool keyExists(const std::string& path) {
  const auto& registry = simMachine().registry;
  if (registry.count(path)) return true;
  auto next = registry.lower_bound(path + "\\");
  return next != registry.end() && next->first.compare(0, path.size() + 1, path + "\\") == 0;
}

bool hasSubkeys(const std::string& path) {
  const auto& registry = simMachine().registry;
  auto next = registry.lower_bound(path + "\\");
  return next != registry.end() && next->first.compare(0, path.size() + 1, path + "\\") == 0;
}

const std::string* openPath(RegKey key) {
  auto found = g_openKeys.find(reinterpret_cast<uintptr_t>(key));
  return found == g_openKeys.end() ? nullptr : &found->second;
}

SimRegistryValue* findValue(const std::string& keyPath, const char* name) {
  auto key = simMachine().registry.find(keyPath);
  if (key == simMachine().registry.end()) return nullptr;
  for (SimRegistryValue& value : key->second.values)
    if (asciiEqualNoCase(value.name.c_str(), name ? name : "")) return &value;
  return nullptr;
}

}  // namespace

long regOpenKeyEx(RegKey root, const char* subKey, uint32_t, RegKey* key) {
  *key = nullptr;
  if (root != PLATFORM_HKEY_LOCAL_MACHINE) return kErrorFileNotFound;
  std::string path = normalizeKeyPath(subKey ? subKey : "");
  if (!keyExists(path)) return kErrorFileNotFound;
  uintptr_t handle = g_nextKey++;
  g_openKeys[handle] = path;
  *key = reinterpret_cast<RegKey>(handle);
  ++simMachine().openKeys;
  return kErrorSuccess;
}

long regCloseKey(RegKey key) {
  if (key == PLATFORM_HKEY_PERFORMANCE_DATA) return kErrorSuccess;
  auto found = g_openKeys.find(reinterpret_cast<uintptr_t>(key));
  if (found == g_openKeys.end()) return 6;  // ERROR_INVALID_HANDLE
  g_openKeys.erase(found);
  --simMachine().openKeys;
  return simMachine().failKeyClose ? kErrorAccessDenied : kErrorSuccess;
}

long regQueryValueCount(RegKey key, uint32_t* valueCount) {
  const std::string* path = openPath(key);
  if (!path) return 6;
  auto found = simMachine().registry.find(*path);
  *valueCount = found == simMachine().registry.end()
                    ? 0
                    : static_cast<uint32_t>(found->second.values.size());
  return kErrorSuccess;
}

long regEnumValueName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  const std::string* path = openPath(key);
  if (!path) return 6;
  auto found = simMachine().registry.find(*path);
  if (found == simMachine().registry.end() || index >= found->second.values.size())
    return kErrorNoMoreItems;
  return copyRegistryName(found->second.values[index].name, name, nameLength);
}

namespace {
constexpr long kErrorTimeout = 1460;

// HKEY_PERFORMANCE_DATA answers with the whole block, or ERROR_MORE_DATA
// leaving in the size whatever the machine was told to leave there.
long queryPerformanceData(uint8_t* data, uint32_t* dataSize) {
  SimMachine& sim = simMachine();
  if (sim.performanceQuerySizes.size() >= sim.performanceQueryLimit) return kErrorTimeout;
  sim.performanceQuerySizes.push_back(dataSize ? *dataSize : 0);
  if (sim.performanceDataError) return sim.performanceDataError;
  uint32_t size = static_cast<uint32_t>(sim.performanceData.size());
  if (!data || !dataSize || *dataSize < size) {
    if (dataSize && sim.performanceSizeOnMoreData >= 0)
      *dataSize = static_cast<uint32_t>(sim.performanceSizeOnMoreData);
    return kErrorMoreData;
  }
  if (size) std::memcpy(data, sim.performanceData.data(), size);
  *dataSize = size;
  return kErrorSuccess;
}
}  // namespace

long regQueryValueEx(RegKey key, const char* valueName, uint32_t* type, uint8_t* data,
                     uint32_t* dataSize) {
  if (key == PLATFORM_HKEY_PERFORMANCE_DATA) {
    if (type) *type = kRegBinary;
    return queryPerformanceData(data, dataSize);
  }
  const std::string* path = openPath(key);
  if (!path) return 6;
  SimRegistryValue* value = findValue(*path, valueName);
  if (!value) return kErrorFileNotFound;
  if (type) *type = value->type;
  uint32_t size = static_cast<uint32_t>(value->data.size());
  if (data) {
    if (!dataSize || *dataSize < size) {
      if (dataSize) *dataSize = size;
      return kErrorMoreData;
    }
    if (size) std::memcpy(data, value->data.data(), size);
  }
  if (dataSize) *dataSize = size;
  return kErrorSuccess;
}

long regDeleteValue(RegKey key, const char* valueName) {
  const std::string* path = openPath(key);
  if (!path) return 6;
  std::string injected = *path + "\\" + normalizeKeyPath(valueName ? valueName : "");
  if (simMachine().failValueDeletes.count(injected)) return kErrorAccessDenied;
  auto& values = simMachine().registry[*path].values;
  auto found = std::find_if(values.begin(), values.end(), [&](const SimRegistryValue& v) {
    return asciiEqualNoCase(v.name.c_str(), valueName ? valueName : "");
  });
  if (found == values.end()) return kErrorFileNotFound;
  values.erase(found);
  return kErrorSuccess;
}

long regDeleteKey(RegKey root, const char* subKey) {
  if (root != PLATFORM_HKEY_LOCAL_MACHINE) return kErrorAccessDenied;
  std::string path = normalizeKeyPath(subKey ? subKey : "");
  if (path.empty() || !simMachine().registry.count(path)) return kErrorFileNotFound;
  if (hasSubkeys(path)) return kErrorAccessDenied;  // as NT refuses a key with subkeys
  simMachine().registry.erase(path);
  return kErrorSuccess;
}

namespace {
// The value of %name% in the simulated machine's environment.
bool environmentValue(const std::string& name, std::string* value) {
  const std::string wanted = normalizeKeyPath(name);
  for (const auto& entry : simMachine().environment) {
    if (normalizeKeyPath(entry.first) != wanted) continue;
    *value = entry.second;
    return true;
  }
  return false;
}
}  // namespace

uint32_t expandEnvironmentStrings(const char* source, char* out, uint32_t capacity) {
  return expandVariables(source, out, capacity, environmentValue);
}

long regEnumKeyName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  const std::string* path = openPath(key);
  if (!path) return 6;
  // The simulated registry holds keys by full path: the subkeys are the
  // distinct names that follow this key's path, in sorted order.
  const std::string prefix = path->empty() ? std::string() : *path + "\\";
  std::string previous;
  uint32_t at = 0;
  for (auto entry = simMachine().registry.lower_bound(prefix);
       entry != simMachine().registry.end() && entry->first.compare(0, prefix.size(), prefix) == 0;
       ++entry) {
    std::string child = entry->first.substr(prefix.size());
    child = child.substr(0, child.find('\\'));
    if (child.empty() || child == previous) continue;
    previous = child;
    if (at++ != index) continue;
    return copyRegistryName(child, name, nameLength);
  }
  return kErrorNoMoreItems;
}

// A running Windows shows each program its own view by itself.
int regExtraSoftwareViews(const char**, int) { return 0; }

// Like a running Windows, the simulated registry makes each change at once.
bool regHoldChanges() { return false; }
void regWriteChanges() {}
bool regChangesWritten(const char*) { return true; }
