// A look into a registry hive file without loading it: its header, and single
// values found by key path, each through a few bounded reads. The version the
// scan asks for at its start comes from here, so that a scan which finds
// nothing never loads a hive; and a hive is checked here before it is written.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class HiveProbe {
 public:
  // Reads the header of the open file `fd` (which stays the caller's).
  explicit HiveProbe(int fd);

  // The header is a registry hive's: signature, format version and checksum.
  bool valid() const { return valid_; }
  // Windows did not close the hive cleanly (its two sequence numbers differ):
  // changes may still wait in its log files.
  bool dirty() const { return dirty_; }
  // The format's minor version (3 for NT 4.0 and 2000, 5 from XP on).
  uint32_t minorVersion() const { return minor_; }

  // Where the header and the data disagree, in words for the report: the
  // signature, format version or checksum of the header, the data size it
  // gives against the file's, a bin that is not where the header and the bins
  // before it put it, a cell reaching outside its bin, a root key outside the
  // data. Empty for a sound hive. Reads the whole file.
  std::string damage() const;

  // The value `valueName` of the key `keyPath` (names separated by
  // backslashes, below the root key, compared ignoring ASCII letter case).
  // False when the header is not valid or any part is missing or malformed.
  bool readValue(const std::string& keyPath, const std::string& valueName, uint32_t* type,
                 std::vector<uint8_t>* data) const;

 private:
  bool read(uint64_t offset, void* out, size_t length) const;
  bool readCell(uint32_t offset, size_t atLeast, std::vector<uint8_t>* data) const;
  bool findSubkey(uint32_t key, const std::string& name, uint32_t* found) const;
  bool searchList(uint32_t list, const std::string& name, int depth, uint32_t* found) const;
  bool keyNamed(uint32_t key, const std::string& name) const;
  bool findValue(uint32_t key, const std::string& name, std::vector<uint8_t>* record) const;

  int fd_;
  uint64_t fileSize_ = 0;
  uint64_t binsEnd_ = 0;  // end of the hive bins, as the header gives it
  uint32_t root_ = 0;
  uint32_t binsSize_ = 0;  // as the header gives it
  uint32_t minor_ = 0;
  bool valid_ = false;
  bool dirty_ = false;
};
