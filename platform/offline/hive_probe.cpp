#include "platform/offline/hive_probe.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/ascii.h"
#include "platform/little_endian.h"
#include "platform/offline/hive_text.h"

namespace {

constexpr uint64_t kBinsStart = 0x1000;
constexpr size_t kHeaderSize = 0x200;
constexpr size_t kMaxCell = 1 << 20;  // larger cells are not read
constexpr uint32_t kNoCell = 0xFFFFFFFF;

// Key node ("nk") fields, from the start of the cell's data.
constexpr size_t kNkSubkeyCount = 0x14;
constexpr size_t kNkSubkeyList = 0x1C;
constexpr size_t kNkValueCount = 0x24;
constexpr size_t kNkValueList = 0x28;
constexpr size_t kNkNameLength = 0x48;
constexpr size_t kNkName = 0x4C;
constexpr uint16_t kNkAsciiName = 0x20;
// Value ("vk") fields.
constexpr size_t kVkNameLength = 0x02;
constexpr size_t kVkDataLength = 0x04;
constexpr size_t kVkDataOffset = 0x08;
constexpr size_t kVkType = 0x0C;
constexpr size_t kVkFlags = 0x10;
constexpr size_t kVkName = 0x14;
constexpr uint16_t kVkAsciiName = 0x01;
constexpr uint32_t kInlineData = 0x80000000u;
constexpr uint32_t kLargestPlainData = 16344;  // beyond, data may be split in a "db" cell

uint16_t load16(const std::vector<uint8_t>& bytes, size_t at) { return load16le(&bytes[at]); }
uint32_t load32(const std::vector<uint8_t>& bytes, size_t at) { return load32le(&bytes[at]); }
bool has(const std::vector<uint8_t>& bytes, size_t at, size_t length) {
  return at <= bytes.size() && length <= bytes.size() - at;
}
// The header's last field is the XOR of the 32-bit words before it.
bool checksumMatches(const uint8_t* header) {
  uint32_t checksum = 0;
  for (size_t at = 0; at < 0x1FC; at += 4) checksum ^= load32le(header + at);
  return checksum == load32le(header + 0x1FC);
}
bool idIs(const std::vector<uint8_t>& bytes, const char* id) {
  return bytes.size() >= 2 && bytes[0] == id[0] && bytes[1] == id[1];
}

// A stored name (Latin-1 when `ascii`, else UTF-16LE) compared with `name`.
bool sameName(const std::vector<uint8_t>& bytes, size_t at, size_t length, bool ascii,
              const std::string& name) {
  if (!has(bytes, at, length)) return false;
  std::string stored;
  if (ascii) {
    for (size_t i = 0; i < length; ++i) {
      uint8_t c = bytes[at + i];
      if (c < 0x80) {
        stored.push_back(static_cast<char>(c));
      } else {
        stored.push_back(static_cast<char>(0xC0 | (c >> 6)));
        stored.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
  } else {
    stored = utf16ToUtf8(bytes.data() + at, length);
  }
  return stored.size() == name.size() && asciiEqualNoCaseN(stored.c_str(), name.c_str(), name.size());
}

}  // namespace

HiveProbe::HiveProbe(int fd) : fd_(fd) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
  fileSize_ = static_cast<uint64_t>(info.st_size);
  std::vector<uint8_t> header(kHeaderSize);
  if (fileSize_ < kBinsStart + 0x1000 || !read(0, header.data(), header.size())) return;
  if (std::memcmp(header.data(), "regf", 4) != 0 || load32(header, 0x14) != 1 ||
      !checksumMatches(header.data()))
    return;
  root_ = load32(header, 0x24);
  binsSize_ = load32(header, 0x28);
  minor_ = load32(header, 0x18);
  binsEnd_ = std::min<uint64_t>(kBinsStart + binsSize_, fileSize_);
  dirty_ = load32(header, 0x04) != load32(header, 0x08);
  valid_ = true;
}

bool HiveProbe::read(uint64_t offset, void* out, size_t length) const {
  if (offset > fileSize_ || length > fileSize_ - offset) return false;
  return pread(fd_, out, length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length);
}

// The data of the allocated cell at `offset` (relative to the first bin),
// holding at least `atLeast` bytes.
bool HiveProbe::readCell(uint32_t offset, size_t atLeast, std::vector<uint8_t>* data) const {
  const uint64_t at = kBinsStart + offset;
  uint8_t sizeField[4];
  if (offset == kNoCell || at + 4 > binsEnd_ || !read(at, sizeField, 4)) return false;
  int32_t size;
  std::memcpy(&size, sizeField, 4);
  if (size >= 0 || size == INT32_MIN) return false;  // a free cell, or no size
  const uint64_t cellSize = static_cast<uint64_t>(-static_cast<int64_t>(size));
  if (cellSize < 4 + atLeast || cellSize - 4 > kMaxCell || at + cellSize > binsEnd_) return false;
  data->resize(cellSize - 4);
  return read(at + 4, data->data(), data->size());
}

bool HiveProbe::keyNamed(uint32_t key, const std::string& name) const {
  std::vector<uint8_t> nk;
  if (!readCell(key, kNkName, &nk) || !idIs(nk, "nk")) return false;
  return sameName(nk, kNkName, load16(nk, kNkNameLength), load16(nk, 2) & kNkAsciiName, name);
}

// Looks through a subkey list: "li" and "lf"/"lh" lists of keys, "ri" lists
// of such lists (one level deep).
bool HiveProbe::searchList(uint32_t list, const std::string& name, int depth,
                           uint32_t* found) const {
  std::vector<uint8_t> cell;
  if (!readCell(list, 4, &cell)) return false;
  const uint16_t count = load16(cell, 2);
  const bool ri = idIs(cell, "ri"), li = idIs(cell, "li");
  const bool lfh = idIs(cell, "lf") || idIs(cell, "lh");
  if (!ri && !li && !lfh) return false;
  const size_t stride = lfh ? 8 : 4;
  for (size_t i = 0; i < count && has(cell, 4 + i * stride, 4); ++i) {
    uint32_t entry = load32(cell, 4 + i * stride);
    if (ri) {
      if (depth == 0 && searchList(entry, name, 1, found)) return true;
    } else if (keyNamed(entry, name)) {
      *found = entry;
      return true;
    }
  }
  return false;
}

bool HiveProbe::findSubkey(uint32_t key, const std::string& name, uint32_t* found) const {
  std::vector<uint8_t> nk;
  if (!readCell(key, kNkName, &nk) || !idIs(nk, "nk") || load32(nk, kNkSubkeyCount) == 0)
    return false;
  return searchList(load32(nk, kNkSubkeyList), name, 0, found);
}

bool HiveProbe::findValue(uint32_t key, const std::string& name, std::vector<uint8_t>* record) const {
  std::vector<uint8_t> nk, list;
  if (!readCell(key, kNkName, &nk) || !idIs(nk, "nk")) return false;
  const uint32_t count = load32(nk, kNkValueCount);
  if (count == 0 || !readCell(load32(nk, kNkValueList), 4, &list)) return false;
  for (size_t i = 0; i < count && has(list, i * 4, 4); ++i) {
    if (!readCell(load32(list, i * 4), kVkName, record) || !idIs(*record, "vk")) continue;
    if (sameName(*record, kVkName, load16(*record, kVkNameLength),
                 load16(*record, kVkFlags) & kVkAsciiName, name))
      return true;
  }
  return false;
}

bool HiveProbe::readValue(const std::string& keyPath, const std::string& valueName,
                          uint32_t* type, std::vector<uint8_t>* data) const {
  if (!valid_) return false;
  uint32_t key = root_;
  for (const std::string& part : splitKeyPath(keyPath))
    if (!findSubkey(key, part, &key)) return false;
  std::vector<uint8_t> vk;
  if (!findValue(key, valueName, &vk)) return false;
  *type = load32(vk, kVkType);
  const uint32_t length = load32(vk, kVkDataLength);
  if (length & kInlineData) {
    const uint32_t inlineLength = length & ~kInlineData;
    if (inlineLength > 4) return false;
    data->assign(vk.begin() + kVkDataOffset, vk.begin() + kVkDataOffset + inlineLength);
    return true;
  }
  if (length > kLargestPlainData) return false;
  std::vector<uint8_t> cell;
  if (!readCell(load32(vk, kVkDataOffset), length, &cell)) return false;
  data->assign(cell.begin(), cell.begin() + length);
  return true;
}

namespace {

constexpr size_t kBinHeader = 0x20;
constexpr uint64_t kPage = 0x1000;

std::string format(const char* pattern, uint64_t a, uint64_t b = 0) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

// A file mapped for reading, unmapped when it goes out of scope.
class Mapping {
 public:
  Mapping(int fd, uint64_t size) : size_(size) {
    void* at = size ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    if (at != MAP_FAILED) bytes_ = static_cast<const uint8_t*>(at);
  }
  ~Mapping() {
    if (bytes_) munmap(const_cast<uint8_t*>(bytes_), size_);
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  const uint8_t* bytes() const { return bytes_; }

 private:
  const uint8_t* bytes_ = nullptr;
  uint64_t size_;
};

// The cells of the bin at `bin` (an offset in the file) of `size` bytes:
// empty when each lies inside it, else where the first one does not.
std::string cellDamage(const uint8_t* file, uint64_t bin, uint64_t size) {
  for (uint64_t at = bin + kBinHeader; at < bin + size;) {
    if (bin + size - at < 4)
      return format("a cell at data offset 0x%" PRIX64 " is cut short by the end of its bin",
                    at - kBinsStart);
    int32_t field;
    std::memcpy(&field, file + at, 4);
    const uint64_t length = field < 0 ? -static_cast<int64_t>(field) : field;
    if (length < 8 || length % 8 != 0 || length > bin + size - at)
      return format("the cell at data offset 0x%" PRIX64 " gives a size of %" PRIu64
                    " bytes, which does not fit its bin",
                    at - kBinsStart, length);
    at += length;
  }
  return std::string();
}

}  // namespace

std::string HiveProbe::damage() const {
  uint8_t header[kHeaderSize];
  if (fileSize_ < kBinsStart + kPage || !read(0, header, sizeof header))
    return format("the file holds %" PRIu64 " bytes, too few for a registry hive", fileSize_);
  if (std::memcmp(header, "regf", 4) != 0) return "it does not begin with a registry hive's signature";
  if (load32le(header + 0x14) != 1)
    return format("its format version %" PRIu64 ".%" PRIu64 " is unknown", load32le(header + 0x14),
                  load32le(header + 0x18));
  if (!checksumMatches(header)) return "the header's checksum does not match the header";
  const uint64_t binsSize = load32le(header + 0x28);
  if (binsSize == 0 || binsSize % kPage != 0)
    return format("the header gives a data size of %" PRIu64 " bytes, not whole 4096-byte pages",
                  binsSize);
  if (kBinsStart + binsSize > fileSize_)
    return format("the header gives %" PRIu64 " bytes of data, the file holds only %" PRIu64,
                  binsSize, fileSize_ - kBinsStart);
  const uint64_t root = load32le(header + 0x24);
  if (root + 8 > binsSize) return format("the root key at data offset 0x%" PRIX64 " lies outside the data", root);

  Mapping mapping(fd_, fileSize_);
  const uint8_t* file = mapping.bytes();
  if (!file) return std::string("the file cannot be read: ") + std::strerror(errno);
  for (uint64_t offset = 0; offset < binsSize;) {
    const uint8_t* bin = file + kBinsStart + offset;
    const uint64_t size = load32le(bin + 0x08);
    if (std::memcmp(bin, "hbin", 4) != 0 || load32le(bin + 0x04) != offset)
      return format("no bin begins at data offset 0x%" PRIX64 " where the bins before it end", offset);
    if (size < kPage || size % kPage != 0 || size > binsSize - offset)
      return format("the bin at data offset 0x%" PRIX64 " gives a size of %" PRIu64
                    " bytes, which does not fit the data", offset, size);
    std::string cells = cellDamage(file, kBinsStart + offset, size);
    if (!cells.empty()) return cells;
    offset += size;
  }
  return std::string();
}
