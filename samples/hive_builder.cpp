#include "samples/hive_builder.h"

#include <hivex.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/offline/hive_text.h"
#include "samples/byte_fields.h"

namespace {

constexpr size_t kBin = 0x1000;
constexpr uint32_t kRootCell = 0x20;  // cell offsets count from the first bin
constexpr uint32_t kRootCellSize = 88;
constexpr uint32_t kSecurityCell = kRootCell + kRootCellSize;
constexpr uint32_t kSecurityCellSize = 48;
constexpr uint32_t kNone = 0xFFFFFFFF;

}  // namespace

void sealHiveHeader(std::vector<uint8_t>& hive) {
  uint32_t checksum = 0;
  for (size_t at = 0; at < 0x1FC; at += 4) checksum ^= get32(hive, at);
  put32(hive, 0x1FC, checksum);
}

std::vector<uint8_t> minimalHive() {
  std::vector<uint8_t> hive(2 * kBin, 0);
  // Header.
  std::memcpy(&hive[0], "regf", 4);
  put32(hive, 0x04, 1);  // sequence numbers, equal: closed cleanly
  put32(hive, 0x08, 1);
  put32(hive, 0x0C, 0xD53E8000);  // last written: 2001-01-01
  put32(hive, 0x10, 0x01C07385);
  put32(hive, 0x14, 1);  // format version 1.3
  put32(hive, 0x18, 3);
  put32(hive, 0x1C, 0);  // primary file
  put32(hive, 0x20, 1);  // direct memory load
  put32(hive, 0x24, kRootCell);
  put32(hive, 0x28, kBin);  // size of the bins
  put32(hive, 0x2C, 1);
  sealHiveHeader(hive);

  // The one bin.
  std::memcpy(&hive[kBin], "hbin", 4);
  put32(hive, kBin + 0x04, 0);
  put32(hive, kBin + 0x08, kBin);

  // The root key ("nk"): no subkeys, no values, its security descriptor.
  const size_t root = kBin + kRootCell;
  put32(hive, root, static_cast<uint32_t>(-static_cast<int32_t>(kRootCellSize)));
  std::memcpy(&hive[root + 4], "nk", 2);
  put16(hive, root + 0x06, 0x2C);  // hive entry, cannot be deleted, ASCII name
  put32(hive, root + 0x20, kNone);  // subkey lists
  put32(hive, root + 0x24, kNone);
  put32(hive, root + 0x2C, kNone);  // value list
  put32(hive, root + 0x30, kSecurityCell);
  put32(hive, root + 0x34, kNone);  // class name
  put16(hive, root + 0x4C, 4);
  std::memcpy(&hive[root + 0x50], "ROOT", 4);

  // The security descriptor ("sk"), a ring of one: self-relative, no DACL
  // restrictions.
  const size_t sk = kBin + kSecurityCell;
  put32(hive, sk, static_cast<uint32_t>(-static_cast<int32_t>(kSecurityCellSize)));
  std::memcpy(&hive[sk + 4], "sk", 2);
  put32(hive, sk + 0x08, kSecurityCell);
  put32(hive, sk + 0x0C, kSecurityCell);
  put32(hive, sk + 0x10, 1);   // used by one key
  put32(hive, sk + 0x14, 20);  // descriptor length
  hive[sk + 0x18] = 1;         // revision
  put16(hive, sk + 0x1A, 0x8004);  // self-relative, DACL present (none: full access)

  // The rest of the bin is one free cell.
  const uint32_t freeCell = kSecurityCell + kSecurityCellSize;
  put32(hive, kBin + freeCell, static_cast<uint32_t>(kBin - freeCell));
  return hive;
}

HiveBuilder::HiveBuilder(const std::string& path, bool create) : path_(path) {
  if (create) {
    std::vector<uint8_t> bytes = minimalHive();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return;
  }
  hive_ = hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
}

HiveBuilder::~HiveBuilder() {
  if (hive_) hivex_close(hive_);
}

size_t HiveBuilder::node(const std::string& path, bool create) {
  if (!hive_) return 0;
  hive_node_h current = hivex_root(hive_);
  for (const std::string& part : splitKeyPath(path)) {
    hive_node_h child = hivex_node_get_child(hive_, current, part.c_str());
    if (!child && create) child = hivex_node_add_child(hive_, current, part.c_str());
    if (!child) return 0;
    current = child;
  }
  return current;
}

void HiveBuilder::addKey(const std::string& path) { node(path, true); }

void HiveBuilder::setRaw(const std::string& keyPath, const std::string& name, uint32_t type,
                         const std::vector<uint8_t>& data) {
  hive_node_h key = node(keyPath, true);
  if (!key) return;
  std::vector<char> bytes(data.begin(), data.end());
  hive_set_value value{const_cast<char*>(name.c_str()), static_cast<hive_type>(type), bytes.size(),
                       bytes.data()};
  hivex_node_set_value(hive_, key, &value, 0);
}

void HiveBuilder::setString(const std::string& keyPath, const std::string& name,
                            const std::string& text, uint32_t type, bool terminated) {
  std::vector<uint8_t> data = utf8ToUtf16(terminated ? text + std::string(1, '\0') : text);
  setRaw(keyPath, name, type, data);
}

void HiveBuilder::setDword(const std::string& keyPath, const std::string& name, uint32_t value) {
  setRaw(keyPath, name, kHiveDword,
         {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

void HiveBuilder::setMultiString(const std::string& keyPath, const std::string& name,
                                 const std::vector<std::string>& strings) {
  std::string text;
  for (const std::string& item : strings) text.append(item).push_back('\0');
  text.push_back('\0');
  setRaw(keyPath, name, kHiveMultiSz, utf8ToUtf16(text));
}

bool HiveBuilder::commit() { return hive_ && hivex_commit(hive_, path_.c_str(), 0) == 0; }

namespace {

// Keys with a few values each, named and filled from their number only.
void addFiller(HiveBuilder& hive, const std::string& under, int count) {
  for (int i = 0; i < count; ++i) {
    char group[32], key[48];
    std::snprintf(group, sizeof group, "Group%03d", i / 100);
    std::snprintf(key, sizeof key, "Component%05d", i);
    const std::string path = under + "\\" + group + "\\" + key;
    hive.setString(path, "DisplayName", std::string("Filler component ") + key);
    hive.setString(path, "ImagePath", std::string("%SystemRoot%\\System32\\filler\\") + key + ".dll",
                   kHiveExpandSz);
    hive.setDword(path, "Start", static_cast<uint32_t>(i % 5));
  }
}

}  // namespace

bool plantInstallation(const std::string& windowsRoot, int fillerKeys, int systemFillerKeys) {
  const std::string config = windowsRoot + "/System32/config";
  std::error_code error;
  std::filesystem::create_directories(config, error);
  if (error) return false;

  HiveBuilder software(config + "/SOFTWARE");
  const std::string nt = "Microsoft\\Windows NT\\CurrentVersion";
  software.setString(nt, "CurrentVersion", "6.1");
  software.setString(nt, "CurrentBuildNumber", "7601");
  software.setString(nt, "SystemRoot", "C:\\Windows");
  software.setString("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "C:\\Program Files");
  software.setString("Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
                     "C:\\Program Files\\Common Files");
  software.addKey("Microsoft\\Windows\\CurrentVersion\\Run");
  software.addKey("Microsoft\\Windows\\CurrentVersion\\Uninstall");
  addFiller(software, "Classes\\Filler", fillerKeys);

  HiveBuilder system(config + "/SYSTEM");
  for (const char* set : {"ControlSet001", "ControlSet002"}) {
    system.setMultiString(std::string(set) + "\\Control\\Session Manager", "BootExecute",
                          {"autocheck autochk *"});
    system.addKey(std::string(set) + "\\Services");
  }
  system.setDword("Select", "Current", 1);
  system.setDword("Select", "Default", 1);
  system.setDword("Select", "LastKnownGood", 2);
  addFiller(system, "ControlSet001\\Services\\Filler",
            systemFillerKeys < 0 ? fillerKeys : systemFillerKeys);
  return software.commit() && system.commit();
}

uint64_t bytesWrittenByThisProcess() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value)
    if (key == "wchar:") return value;
  return 0;
}
