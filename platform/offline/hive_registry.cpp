#include "platform/offline/hive_registry.h"

#include <hivex.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/linux/call_text.h"
#include "platform/offline/hive_text.h"
#include "platform/offline/offline_windows.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace {

constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorWriteFault = 29;
constexpr long kErrorBadDb = 1009;
// From format version 1.4 (Windows XP) on, Windows keeps data longer than
// this in pieces (a "db" cell listing segments of at most this size) and
// reads any longer value that way. libhivex writes every value as one cell,
// which such a Windows would misread, so in those hives a key holding a value
// this long is not rewritten. Version 1.3 hives keep long data in one cell.
constexpr size_t kLargestRewritable = 16344;
constexpr uint32_t kFirstMinorWithBigData = 4;

struct HiveKey {
  bool system;       // the SYSTEM hive, else SOFTWARE
  std::string path;  // below the hive's root, backslash-separated
};
std::set<HiveKey*> g_openKeys;

// Changes held in memory between hiveHoldChanges and hiveWriteHeldChanges,
// and whether each hive's held changes reached the disk (SOFTWARE, SYSTEM).
bool g_holding = false;
bool g_written[2] = {true, true};

struct FreeDeleter {
  void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

// Whether a list libhivex ends with a zero handle has an entry `index`.
template <typename Handle>
bool holdsEntry(const Handle* list, uint32_t index) {
  for (uint32_t i = 0; i <= index; ++i)
    if (!list[i]) return false;
  return true;
}

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

std::string keyName(const std::string& path) { return path.empty() ? "the root key" : path; }

// The subkey of `node` named `name` in any letter case; 0 when there is
// none. *failed when libhivex could not read the subkeys.
hive_node_h childNamed(hive_h* hive, hive_node_h node, const std::string& name, bool* failed) {
  Owned<hive_node_h> children(hivex_node_children(hive, node));
  if (!children) {
    *failed = true;
    return 0;
  }
  for (hive_node_h* child = children.get(); *child; ++child) {
    Owned<char> childName(hivex_node_name(hive, *child));
    if (!childName) {
      *failed = true;
      return 0;
    }
    if (asciiEqualNoCase(childName.get(), name.c_str())) return *child;
  }
  return 0;
}

// The key at `path` below the root; 0 when it is missing. A key libhivex
// cannot read makes the whole hive damaged (OfflineHive::readFailed): its
// handle is closed, and a missing key is never taken for an absent one.
hive_node_h resolve(OfflineHive& file, hive_h* hive, const std::string& path) {
  hive_node_h node = hivex_root(hive);
  std::string walked;
  for (const std::string& part : splitKeyPath(path)) {
    if (!node) break;
    bool failed = false;
    node = childNamed(hive, node, part, &failed);
    if (failed) {
      file.readFailed("the subkeys of " + keyName(walked));
      return 0;
    }
    walked.append(walked.empty() ? "" : "\\").append(part);
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
  return *hive ? resolve(*file, *hive, key.path) : 0;
}

// An open key of ours, its hive and its node, read-only; `error` is what a
// registry call returns when the handle is not one of ours or the key cannot
// be read, else kErrorSuccess.
struct ReadKey {
  long error;
  HiveKey* own;
  hive_h* hive;
  hive_node_h node;
};

ReadKey readKey(RegKey key) {
  HiveKey* own = ownKey(key);
  if (!own) return {kErrorInvalidHandle, nullptr, nullptr, 0};
  hive_h* hive = nullptr;
  const hive_node_h node = nodeOf(*own, false, &hive);
  return {node ? kErrorSuccess : kErrorBadDb, own, hive, node};
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

// Every value of a node, in order, as libhivex rewrites them.
struct StoredValue {
  std::string name;
  uint32_t type;
  std::string data;  // as stored
};

// The node's values; false when libhivex cannot read them (the hive is then
// damaged and its handle closed).
bool readValues(OfflineHive& file, hive_h* hive, hive_node_h node, const std::string& path,
                std::vector<StoredValue>* values) {
  Owned<hive_value_h> list(hivex_node_values(hive, node));
  bool read = list != nullptr;
  for (hive_value_h* value = list.get(); read && *value; ++value) {
    Owned<char> name(hivex_value_key(hive, *value));
    size_t length = 0;
    hive_type type;
    Owned<char> data(name ? hivex_value_value(hive, *value, &type, &length) : nullptr);
    if (!name || !data) {
      read = false;
      break;
    }
    values->push_back(StoredValue{name.get(), typeNumber(type), std::string(data.get(), length)});
  }
  if (!read) file.readFailed("the values of " + keyName(path));
  return read;
}

// The index of the value named `name` (any letter case) in `values`, or -1.
int indexOf(const std::vector<StoredValue>& values, const char* name) {
  for (size_t i = 0; i < values.size(); ++i)
    if (asciiEqualNoCase(values[i].name.c_str(), name ? name : "")) return static_cast<int>(i);
  return -1;
}

// Sets the node's values in the hive in memory. A value this hive's format
// keeps in pieces leaves the key as it was, and the report says why; a
// failure inside libhivex drops every change not yet written.
bool writeValues(OfflineHive& file, hive_h* hive, hive_node_h node, const std::string& path,
                 std::vector<StoredValue>& values) {
  if (file.minorVersion() >= kFirstMinorWithBigData) {
    for (const StoredValue& value : values) {
      if (value.data.size() <= kLargestRewritable) continue;
      char size[32];
      std::snprintf(size, sizeof size, "%zu", value.data.size());
      std::string line = file.location().windowsPath + "     " + keyName(path) +
                         " not rewritten: its value " + value.name + " would hold " + size +
                         " bytes, and this hive's format keeps data over 16344 bytes in "
                         "pieces (\"db\" cells), which libhivex cannot write";
      platformNotice(line.c_str());
      return false;
    }
  }
  std::vector<hive_set_value> set;
  for (StoredValue& value : values) {
    hive_set_value entry{&value.name[0], hive_t_REG_NONE, value.data.size(), &value.data[0]};
    std::memcpy(&entry.t, &value.type, sizeof entry.t);
    set.push_back(entry);
  }
  if (hivex_node_set_values(hive, node, set.size(), set.data(), 0) == 0) return true;
  file.discardChanges();
  return false;
}

// A change made in memory: held for the commit of its infected file, or
// written at once.
bool changed(OfflineHive& file) {
  if (g_holding) {
    file.noteHeldChange();
    return true;
  }
  return file.commit();
}

// Replaces a node's values; false when the change was not made (or, written
// at once, could not be written).
bool rewriteValues(OfflineHive& file, hive_h* hive, hive_node_h node, const std::string& path,
                   std::vector<StoredValue>& values) {
  return writeValues(file, hive, node, path, values) && changed(file);
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
  if (!hive || !resolve(*file, hive, rest)) return kErrorFileNotFound;
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
  auto [error, own, hive, node] = readKey(key);
  if (error != kErrorSuccess) return error;
  std::vector<StoredValue> values;
  if (!readValues(*hiveOf(own->system), hive, node, own->path, &values)) return kErrorBadDb;
  *valueCount = static_cast<uint32_t>(values.size());
  return kErrorSuccess;
}

long hiveRegEnumValueName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  auto [error, own, hive, node] = readKey(key);
  if (error != kErrorSuccess) return error;
  Owned<hive_value_h> values(hivex_node_values(hive, node));
  if (values && !holdsEntry(values.get(), index)) return kErrorNoMoreItems;
  Owned<char> key8(values ? hivex_value_key(hive, values.get()[index]) : nullptr);
  if (!key8) {
    hiveOf(own->system)->readFailed("the values of " + keyName(own->path));
    return kErrorBadDb;
  }
  return copyRegistryName(key8.get(), name, nameLength);
}

long hiveRegQueryValueEx(RegKey key, const char* valueName, uint32_t* type, uint8_t* data,
                         uint32_t* dataSize) {
  auto [error, own, hive, node] = readKey(key);
  if (error != kErrorSuccess) return error;
  std::vector<StoredValue> values;
  if (!readValues(*hiveOf(own->system), hive, node, own->path, &values)) return kErrorBadDb;
  const int found = indexOf(values, valueName);
  if (found < 0) return kErrorFileNotFound;
  const StoredValue& value = values[static_cast<size_t>(found)];
  // Strings as the system reads them (UTF-8), the rest as stored.
  const std::string bytes =
      isStringType(value.type)
          ? utf16ToUtf8(reinterpret_cast<const uint8_t*>(value.data.data()), value.data.size())
          : value.data;
  if (type) *type = value.type;
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
  auto [error, own, hive, node] = readKey(key);
  if (error != kErrorSuccess) return error;
  OfflineHive& file = *hiveOf(own->system);
  std::vector<StoredValue> values;
  if (!readValues(file, hive, node, own->path, &values)) return kErrorBadDb;
  if (indexOf(values, valueName) < 0) return kErrorFileNotFound;
  node = nodeOf(*own, true, &hive);
  if (!node) return kErrorAccessDenied;
  values.clear();
  if (!readValues(file, hive, node, own->path, &values)) return kErrorBadDb;
  const int found = indexOf(values, valueName);
  if (found < 0) return kErrorFileNotFound;
  values.erase(values.begin() + found);
  return rewriteValues(file, hive, node, own->path, values) ? kErrorSuccess : kErrorWriteFault;
}

long hiveRegDeleteKey(const char* subKey) {
  bool system = false;
  std::string rest;
  if (!locate(subKey, &system, &rest)) return kErrorFileNotFound;
  OfflineHive* file = hiveOf(system);
  hive_h* hive = file ? file->forReading() : nullptr;
  if (!hive) return kErrorFileNotFound;
  hive_node_h node = resolve(*file, hive, rest);
  if (!node) return file->usable() ? kErrorFileNotFound : kErrorBadDb;
  if (rest.empty()) return kErrorAccessDenied;  // a hive's root stays
  Owned<hive_node_h> children(hivex_node_children(hive, node));
  if (!children) {
    file->readFailed("the subkeys of " + rest);
    return kErrorBadDb;
  }
  if (children.get()[0]) return kErrorAccessDenied;  // as NT refuses
  hive = file->forWriting();
  node = hive ? resolve(*file, hive, rest) : 0;
  if (!node) return kErrorAccessDenied;
  if (hivex_node_delete_child(hive, node) != 0) {
    file->discardChanges();
    return kErrorBadDb;
  }
  return changed(*file) ? kErrorSuccess : kErrorWriteFault;
}

long hiveRegEnumKeyName(RegKey key, uint32_t index, char* name, uint32_t* nameLength) {
  auto [error, own, hive, node] = readKey(key);
  if (error != kErrorSuccess) return error;
  Owned<hive_node_h> children(hivex_node_children(hive, node));
  if (children && !holdsEntry(children.get(), index)) return kErrorNoMoreItems;
  Owned<char> child(children ? hivex_node_name(hive, children.get()[index]) : nullptr);
  if (!child) {
    hiveOf(own->system)->readFailed("the subkeys of " + keyName(own->path));
    return kErrorBadDb;
  }
  return copyRegistryName(child.get(), name, nameLength);
}

bool hiveHoldChanges() {
  OfflineWindows* windows = offlineWindows();
  if (!windows) return false;
  windows->software().beginHeldChanges();
  windows->system().beginHeldChanges();
  g_written[0] = g_written[1] = true;
  g_holding = true;
  return true;
}

void hiveWriteHeldChanges() {
  if (!g_holding) return;
  g_holding = false;
  OfflineWindows* windows = offlineWindows();
  if (!windows) return;
  g_written[0] = windows->software().commitHeldChanges();
  g_written[1] = windows->system().commitHeldChanges();
}

bool hiveChangesWritten(const char* keyPath) {
  bool system = false;
  std::string rest;
  return !locate(keyPath, &system, &rest) || g_written[system ? 1 : 0];
}

namespace {

constexpr const char* kPendingValue = "PendingFileRenameOperations";

// The number of the control set Windows starts with next ("Select\Default"),
// else 1.
unsigned defaultControlSet(OfflineHive& file, hive_h* hive) {
  hive_node_h select = resolve(file, hive, "Select");
  std::vector<StoredValue> values;
  if (!select || !readValues(file, hive, select, "Select", &values)) return 1;
  const int chosen = indexOf(values, "Default");
  if (chosen < 0 || values[chosen].type != hive_t_REG_DWORD || values[chosen].data.size() != 4)
    return 1;
  const auto* bytes = reinterpret_cast<const uint8_t*>(values[chosen].data.data());
  const uint32_t number = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  return number >= 1 && number <= 999 ? number : 1;
}

// That control set's Session Manager key.
std::string sessionManagerPath(OfflineHive& file, hive_h* hive) {
  char path[64];
  std::snprintf(path, sizeof path, "ControlSet%03u\\Control\\Session Manager",
                defaultControlSet(file, hive));
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

unsigned hiveDefaultControlSet() {
  OfflineHive* file = hiveOf(true);
  hive_h* hive = file ? file->forReading() : nullptr;
  return hive ? defaultControlSet(*file, hive) : 1;
}

bool hiveScheduleDeletion(const char* path) {
  OfflineWindows* windows = offlineWindows();
  if (!windows || !path || std::strlen(path) < 3 || (path[0] != 'C' && path[0] != 'c') ||
      path[1] != ':' || path[2] != '\\')
    return false;  // only the installation's own drive is known to that Windows
  std::string source = std::string("\\??\\") + windows->ownDriveLetter() + (path + 1);
  OfflineHive& file = windows->system();
  hive_h* hive = file.forWriting();
  if (!hive) return false;
  const std::string manager = sessionManagerPath(file, hive);
  hive = file.forWriting();
  hive_node_h node = hive ? resolve(file, hive, manager) : 0;
  if (!node) return false;
  std::vector<StoredValue> values;
  if (!readValues(file, hive, node, manager, &values)) return false;
  const int found = indexOf(values, kPendingValue);
  std::vector<std::string> strings;
  if (found >= 0 && (values[found].type != hive_t_REG_MULTI_SZ ||
                     !pendingPairs(values[found].data, &strings)))
    return false;  // not in the form Windows reads: left alone
  for (size_t i = 0; i + 1 < strings.size(); i += 2)
    if (asciiEqualNoCase(strings[i].c_str(), source.c_str()) && strings[i + 1].empty())
      return true;  // already scheduled
  strings.push_back(source);
  strings.push_back(std::string());  // no target: delete
  if (found < 0) values.push_back(StoredValue{kPendingValue, hive_t_REG_MULTI_SZ, std::string()});
  values[found < 0 ? values.size() - 1 : static_cast<size_t>(found)].data = multiString(strings);
  return rewriteValues(file, hive, node, manager, values);
}
