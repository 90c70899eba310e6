#include "platform/offline/hive_registry.h"

#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/offline/hive_text.h"
#include "platform/offline/offline_windows.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace {

constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorWriteFault = 29;
constexpr long kErrorBadDb = 1009;
// Data longer than this is kept in pieces ("db" cells) by Windows; libhivex
// would write it back whole, which Windows may not read, so a key holding
// such a value is not rewritten.
constexpr size_t kLargestRewritable = 16344;

struct HiveKey {
  bool system;       // the SYSTEM hive, else SOFTWARE
  std::string path;  // below the hive's root, backslash-separated
};
std::set<HiveKey*> g_openKeys;

struct FreeDeleter {
  void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

OfflineHive* hiveOf(bool system) {
  OfflineWindows* windows = offlineWindows();
  if (!windows) return nullptr;
  return system ? &windows->system() : &windows->software();
}

// Splits "SOFTWARE\A\B" into its hive and the path below the hive's root.
bool locate(const char* subKey, bool* system, std::string* rest) {
  std::vector<std::string> parts = splitKeyPath(subKey ? subKey : "");
  if (parts.empty()) return false;
  if (asciiEqualNoCase(parts[0].c_str(), "SOFTWARE")) {
    *system = false;
  } else if (asciiEqualNoCase(parts[0].c_str(), "SYSTEM")) {
    *system = true;
  } else {
    return false;
  }
  rest->clear();
  for (size_t i = 1; i < parts.size(); ++i) rest->append(i > 1 ? "\\" : "").append(parts[i]);
  return true;
}

hive_node_h resolve(hive_h* hive, const std::string& path) {
  hive_node_h node = hivex_root(hive);
  for (const std::string& part : splitKeyPath(path)) {
    if (!node) break;
    node = hivex_node_get_child(hive, node, part.c_str());
  }
  return node;
}

HiveKey* ownKey(RegKey key) {
  auto* candidate = static_cast<HiveKey*>(key);
  return g_openKeys.count(candidate) ? candidate : nullptr;
}

// The open key's node in its hive (read-only unless `forWriting`).
hive_node_h nodeOf(const HiveKey& key, bool forWriting, hive_h** hive) {
  OfflineHive* file = hiveOf(key.system);
  *hive = file ? (forWriting ? file->forWriting() : file->forReading()) : nullptr;
  return *hive ? resolve(*hive, key.path) : 0;
}

// The type number a hive stores may lie outside libhivex's enumeration: it is
// handled as a plain number, never as an enumeration value.
uint32_t typeNumber(const hive_type& type) {
  uint32_t number;
  static_assert(sizeof number == sizeof type, "hive_type is stored as 32 bits");
  std::memcpy(&number, &type, sizeof number);
  return number;
}

bool isStringType(uint32_t type) {
  return type == hive_t_REG_SZ || type == hive_t_REG_EXPAND_SZ || type == hive_t_REG_MULTI_SZ ||
         type == hive_t_REG_LINK;
}

// A value's data as the system reads it: strings in UTF-8, the rest as stored.
bool valueData(hive_h* hive, hive_value_h value, uint32_t* type, std::string* data) {
  size_t length = 0;
  hive_type stored;
  Owned<char> raw(hivex_value_value(hive, value, &stored, &length));
  if (!raw) return false;
  *type = typeNumber(stored);
  const auto* bytes = reinterpret_cast<const uint8_t*>(raw.get());
  *data = isStringType(*type) ? utf16ToUtf8(bytes, length) : std::string(raw.get(), length);
  return true;
}

// Every value of a node, in order, as libhivex rewrites them.
struct StoredValue {
  std::string name;
  uint32_t type;
  std::string data;  // as stored
};

bool readValues(hive_h* hive, hive_node_h node, std::vector<StoredValue>* values) {
  Owned<hive_value_h> list(hivex_node_values(hive, node));
  if (!list) return false;
  for (hive_value_h* value = list.get(); *value; ++value) {
    Owned<char> name(hivex_value_key(hive, *value));
    size_t length = 0;
    hive_type type;
    Owned<char> data(hivex_value_value(hive, *value, &type, &length));
    if (!name || !data) return false;
    values->push_back(StoredValue{name.get(), typeNumber(type), std::string(data.get(), length)});
  }
  return true;
}

bool writeValues(hive_h* hive, hive_node_h node, std::vector<StoredValue>& values) {
  std::vector<hive_set_value> set;
  for (StoredValue& value : values) {
    if (value.data.size() > kLargestRewritable) return false;
    hive_set_value entry{&value.name[0], hive_t_REG_NONE, value.data.size(), &value.data[0]};
    std::memcpy(&entry.t, &value.type, sizeof entry.t);
    set.push_back(entry);
  }
  return hivex_node_set_values(hive, node, set.size(), set.data(), 0) == 0;
}

// Replaces a node's values in the hive file; false when nothing was written
// (the change is dropped).
bool rewriteValues(OfflineHive& file, hive_h* hive, hive_node_h node,
                   std::vector<StoredValue>& values) {
  if (!writeValues(hive, node, values)) {
    file.discardChanges();
    return false;
  }
  return file.commit();
}

}  // namespace

bool hiveRegistryServes() { return offlineWindows() != nullptr; }

bool hiveOwnsKey(RegKey key) { return ownKey(key) != nullptr; }

int hiveOpenKeyCount() { return static_cast<int>(g_openKeys.size()); }

long hiveRegOpenKey(const char* subKey, RegKey* key) {
  *key = nullptr;
  bool system = false;
  std::string rest;
  if (!locate(subKey, &system, &rest)) return kErrorFileNotFound;
  OfflineHive* file = hiveOf(system);
  hive_h* hive = file ? file->forReading() : nullptr;
  if (!hive || !resolve(hive, rest)) return kErrorFileNotFound;
  auto* opened = new HiveKey{system, rest};
  g_openKeys.insert(opened);
  *key = opened;
  return kErrorSuccess;
}

long hiveRegCloseKey(RegKey key) {
  HiveKey* own = ownKey(key);
  if (!own) return kErrorInvalidHandle;
  g_openKeys.erase(own);
  delete own;
  return kErrorSuccess;
}

long hiveRegQueryValueCount(RegKey key, uint32_t* valueCount) {
  HiveKey* own = ownKey(key);
  if (!own) return kErrorInvalidHandle;
  hive_h* hive = nullptr;
  hive_node_h node = nodeOf(*own, false, &hive);
  if (!node) return kErrorBadDb;
  *valueCount = static_cast<uint32_t>(hivex_node_nr_values(hive, node));
  return kErrorSuccess;
}

long hiveRegEnumValueName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  HiveKey* own = ownKey(key);
  if (!own) return kErrorInvalidHandle;
  hive_h* hive = nullptr;
  hive_node_h node = nodeOf(*own, false, &hive);
  if (!node) return kErrorBadDb;
  Owned<hive_value_h> values(hivex_node_values(hive, node));
  if (!values) return kErrorBadDb;
  for (uint32_t i = 0; i < index; ++i)
    if (!values.get()[i]) return kErrorNoMoreItems;
  if (!values.get()[index]) return kErrorNoMoreItems;
  Owned<char> key8(hivex_value_key(hive, values.get()[index]));
  if (!key8) return kErrorBadDb;
  size_t length = std::strlen(key8.get());
  if (length + 1 > *nameLength) return kErrorMoreData;
  std::memcpy(name, key8.get(), length + 1);
  *nameLength = static_cast<uint32_t>(length);
  return kErrorSuccess;
}

long hiveRegQueryValueEx(RegKey key, const char* valueName, uint32_t* type, uint8_t* data,
                         uint32_t* dataSize) {
  HiveKey* own = ownKey(key);
  if (!own) return kErrorInvalidHandle;
  hive_h* hive = nullptr;
  hive_node_h node = nodeOf(*own, false, &hive);
  if (!node) return kErrorBadDb;
  hive_value_h value = hivex_node_get_value(hive, node, valueName ? valueName : "");
  if (!value) return kErrorFileNotFound;
  uint32_t storedType = 0;
  std::string bytes;
  if (!valueData(hive, value, &storedType, &bytes)) return kErrorBadDb;
  if (type) *type = storedType;
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  if (data) {
    if (!dataSize || *dataSize < size) {
      if (dataSize) *dataSize = size;
      return kErrorMoreData;
    }
    std::memcpy(data, bytes.data(), size);
  }
  if (dataSize) *dataSize = size;
  return kErrorSuccess;
}

long hiveRegDeleteValue(RegKey key, const char* valueName) {
  HiveKey* own = ownKey(key);
  if (!own) return kErrorInvalidHandle;
  hive_h* hive = nullptr;
  if (!nodeOf(*own, false, &hive)) return kErrorBadDb;
  if (!hivex_node_get_value(hive, resolve(hive, own->path), valueName ? valueName : ""))
    return kErrorFileNotFound;
  hive_node_h node = nodeOf(*own, true, &hive);
  if (!node) return kErrorAccessDenied;
  std::vector<StoredValue> values;
  if (!readValues(hive, node, &values)) return kErrorBadDb;
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (!asciiEqualNoCase(it->name.c_str(), valueName ? valueName : "")) continue;
    values.erase(it);
    return rewriteValues(*hiveOf(own->system), hive, node, values) ? kErrorSuccess
                                                                   : kErrorWriteFault;
  }
  return kErrorFileNotFound;
}

long hiveRegDeleteKey(const char* subKey) {
  bool system = false;
  std::string rest;
  if (!locate(subKey, &system, &rest)) return kErrorFileNotFound;
  OfflineHive* file = hiveOf(system);
  hive_h* hive = file ? file->forReading() : nullptr;
  if (!hive) return kErrorFileNotFound;
  hive_node_h node = resolve(hive, rest);
  if (!node) return kErrorFileNotFound;
  if (rest.empty()) return kErrorAccessDenied;  // a hive's root stays
  if (hivex_node_nr_children(hive, node) > 0) return kErrorAccessDenied;  // as NT refuses
  hive = file->forWriting();
  node = hive ? resolve(hive, rest) : 0;
  if (!node) return kErrorAccessDenied;
  if (hivex_node_delete_child(hive, node) != 0) {
    file->discardChanges();
    return kErrorBadDb;
  }
  return file->commit() ? kErrorSuccess : kErrorWriteFault;
}

namespace {

constexpr const char* kPendingValue = "PendingFileRenameOperations";

// The control set Windows starts with next ("Select\Default"), its Session
// Manager key.
std::string sessionManagerPath(hive_h* hive) {
  unsigned set = 1;
  hive_node_h select = resolve(hive, "Select");
  hive_value_h chosen = select ? hivex_node_get_value(hive, select, "Default") : 0;
  hive_type type;
  size_t length = 0;
  if (chosen && hivex_value_type(hive, chosen, &type, &length) == 0 &&
      typeNumber(type) == hive_t_REG_DWORD && length == 4) {
    int32_t number = hivex_value_dword(hive, chosen);
    if (number >= 1 && number <= 999) set = static_cast<unsigned>(number);
  }
  char path[64];
  std::snprintf(path, sizeof path, "ControlSet%03u\\Control\\Session Manager", set);
  return path;
}

// The strings of a REG_MULTI_SZ holding source and target pairs; false when
// it is not in that form.
bool pendingPairs(const std::string& utf16, std::vector<std::string>* strings) {
  std::string text = utf16ToUtf8(reinterpret_cast<const uint8_t*>(utf16.data()), utf16.size());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    strings->push_back(text.substr(start, end - start));
    start = end + 1;
  }
  // The list ends with an empty string of its own after the last pair.
  if (strings->size() % 2 == 1 && strings->back().empty()) strings->pop_back();
  return strings->size() % 2 == 0;
}

std::string multiString(const std::vector<std::string>& strings) {
  std::string text;
  for (const std::string& item : strings) text.append(item).push_back('\0');
  text.push_back('\0');
  std::vector<uint8_t> utf16 = utf8ToUtf16(text);
  return std::string(utf16.begin(), utf16.end());
}

}  // namespace

bool hiveScheduleDeletion(const char* path) {
  OfflineWindows* windows = offlineWindows();
  if (!windows || !path || std::strlen(path) < 3 || (path[0] != 'C' && path[0] != 'c') ||
      path[1] != ':' || path[2] != '\\')
    return false;  // only the installation's own drive is known to that Windows
  std::string source = std::string("\\??\\") + windows->ownDriveLetter() + (path + 1);
  OfflineHive& file = windows->system();
  hive_h* hive = file.forWriting();
  hive_node_h node = hive ? resolve(hive, sessionManagerPath(hive)) : 0;
  if (!node) return false;
  std::vector<StoredValue> values;
  if (!readValues(hive, node, &values)) return false;
  StoredValue* pending = nullptr;
  for (StoredValue& value : values)
    if (asciiEqualNoCase(value.name.c_str(), kPendingValue)) pending = &value;
  std::vector<std::string> strings;
  if (pending && (pending->type != hive_t_REG_MULTI_SZ || !pendingPairs(pending->data, &strings)))
    return false;  // not in the form Windows reads: left alone
  for (size_t i = 0; i + 1 < strings.size(); i += 2)
    if (asciiEqualNoCase(strings[i].c_str(), source.c_str()) && strings[i + 1].empty())
      return true;  // already scheduled
  strings.push_back(source);
  strings.push_back(std::string());  // no target: delete
  if (!pending) {
    values.push_back(StoredValue{kPendingValue, hive_t_REG_MULTI_SZ, std::string()});
    pending = &values.back();
  }
  pending->data = multiString(strings);
  return rewriteValues(file, hive, node, values);
}

long hiveRegEnumKeyName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  HiveKey* own = ownKey(key);
  if (!own) return kErrorInvalidHandle;
  hive_h* hive = nullptr;
  hive_node_h node = nodeOf(*own, false, &hive);
  if (!node) return kErrorBadDb;
  Owned<hive_node_h> children(hivex_node_children(hive, node));
  if (!children) return kErrorBadDb;
  for (uint32_t i = 0; i < index; ++i)
    if (!children.get()[i]) return kErrorNoMoreItems;
  if (!children.get()[index]) return kErrorNoMoreItems;
  Owned<char> child(hivex_node_name(hive, children.get()[index]));
  if (!child) return kErrorBadDb;
  size_t length = std::strlen(child.get());
  if (length + 1 > *nameLength) return kErrorMoreData;
  std::memcpy(name, child.get(), length + 1);
  *nameLength = static_cast<uint32_t>(length);
  return kErrorSuccess;
}
