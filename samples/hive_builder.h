// Registry hive files for the native tests, the fuzz seeds and the corpus
// benchmark: a minimal empty hive written byte by byte, then filled with keys
// and values through libhivex.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

typedef struct hive_h hive_h;

// The bytes of an empty hive: the header, one bin holding the root key and
// its security descriptor, and free space.
std::vector<uint8_t> minimalHive();
// Puts the header's checksum right after a change to the header of `hive`
// (the whole file's bytes).
void sealHiveHeader(std::vector<uint8_t>& hive);

// Registry value types, as the hive stores them.
constexpr uint32_t kHiveSz = 1;
constexpr uint32_t kHiveExpandSz = 2;
constexpr uint32_t kHiveBinary = 3;
constexpr uint32_t kHiveDword = 4;
constexpr uint32_t kHiveMultiSz = 7;

// A hive file being filled: created empty (or opened when `create` is
// false), changed in memory, written back by commit().
class HiveBuilder {
 public:
  explicit HiveBuilder(const std::string& path, bool create = true);
  ~HiveBuilder();
  HiveBuilder(const HiveBuilder&) = delete;
  HiveBuilder& operator=(const HiveBuilder&) = delete;

  bool ok() const { return hive_ != nullptr; }
  // Creates every missing key of `path` (backslash-separated, below the root).
  void addKey(const std::string& path);
  // String data in UTF-16LE; `terminated` false leaves the terminator off.
  void setString(const std::string& keyPath, const std::string& name, const std::string& text,
                 uint32_t type = kHiveSz, bool terminated = true);
  void setDword(const std::string& keyPath, const std::string& name, uint32_t value);
  void setMultiString(const std::string& keyPath, const std::string& name,
                      const std::vector<std::string>& strings);
  void setRaw(const std::string& keyPath, const std::string& name, uint32_t type,
              const std::vector<uint8_t>& data);
  bool commit();

 private:
  size_t node(const std::string& path, bool create);

  std::string path_;
  hive_h* hive_ = nullptr;
};

// A Windows installation's two hives under `windowsRoot`
// (<windowsRoot>/System32/config/SOFTWARE and SYSTEM): version 6.1 build 7601,
// SystemRoot C:\Windows, ControlSet001 and ControlSet002 with their Session
// Manager and Services keys, and `fillerKeys` further keys with a few values
// each, in both hives, for a realistic size (`systemFillerKeys` in SYSTEM
// when it is not negative).
bool plantInstallation(const std::string& windowsRoot, int fillerKeys = 0, int systemFillerKeys = -1);

// The bytes this process has written so far (the kernel's count in
// /proc/self/io), for measuring what cleaning an installation's hives writes.
uint64_t bytesWrittenByThisProcess();
