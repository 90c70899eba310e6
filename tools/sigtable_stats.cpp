#include "tools/sigtable_stats.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace sigtable {
namespace {

void putLe32(uint8_t* p, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
  p[3] = static_cast<uint8_t>(u >> 24);
}

void putLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

int32_t getLe32(const uint8_t* p) {
  const uint32_t u = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return static_cast<int32_t>(u);
}

uint16_t getLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Field offsets of the stored record, fixed by the packed layout.
constexpr size_t kName = 0;
constexpr size_t kFirstOffset = 50;
constexpr size_t kFirstPattern = 54;
constexpr size_t kFirstTerminator = 74;
constexpr size_t kSecondOffset = 75;
constexpr size_t kSecondPattern = 79;
constexpr size_t kSecondTerminator = 99;
constexpr size_t kFileSize = 100;
constexpr size_t kSizeRule = 104;

static_assert(offsetof(SignatureRecord, firstOffset) == kFirstOffset, "layout");
static_assert(offsetof(SignatureRecord, secondOffset) == kSecondOffset, "layout");
static_assert(offsetof(SignatureRecord, fileSize) == kFileSize, "layout");
static_assert(offsetof(SignatureRecord, sizeRule) == kSizeRule, "layout");

constexpr size_t kUuName = 0;
constexpr size_t kUuSize = 25;
constexpr size_t kUuPosition = 29;
constexpr size_t kUuPatternLength = 31;
constexpr size_t kUuRegion = 33;
constexpr size_t kUuPattern = 35;
constexpr size_t kUuMethod = 135;
constexpr size_t kUuUnused1 = 137;
constexpr size_t kUuSizeRule = 139;
constexpr size_t kUuUnused2 = 141;
constexpr size_t kUuReserved = 143;

static_assert(offsetof(UuSignatureRecord, pattern) == kUuPattern, "layout");
static_assert(offsetof(UuSignatureRecord, reserved) == kUuReserved, "layout");

const char kPrefix[] = "W32/Tarvolinex.";
const char kRansomSuffix[] = ".Ransom.Trojan";
const char kPlainSuffix[] = ".Trojan";

bool isTag(const std::string& s) {
  if (s.size() < 2 || s[0] < 'A' || s[0] > 'Z') return false;
  return std::all_of(s.begin() + 1, s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool endsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string formatCounts(const std::map<size_t, size_t>& m) {
  std::ostringstream os;
  bool first = true;
  for (const auto& kv : m) {
    os << (first ? "" : ", ") << kv.first << " letters: " << kv.second;
    first = false;
  }
  return first ? std::string("none") : os.str();
}

}  // namespace

void encodeRecord(const SignatureRecord& rec, uint8_t* out) {
  std::memcpy(out + kName, rec.name, sizeof rec.name);
  putLe32(out + kFirstOffset, rec.firstOffset);
  std::memcpy(out + kFirstPattern, rec.firstPattern, 20);
  out[kFirstTerminator] = rec.firstTerminator;
  putLe32(out + kSecondOffset, rec.secondOffset);
  std::memcpy(out + kSecondPattern, rec.secondPattern, 20);
  out[kSecondTerminator] = rec.secondTerminator;
  putLe32(out + kFileSize, rec.fileSize);
  putLe32(out + kSizeRule, rec.sizeRule);
}

SignatureRecord decodeRecord(const uint8_t* in) {
  SignatureRecord rec;
  std::memcpy(rec.name, in + kName, sizeof rec.name);
  rec.firstOffset = getLe32(in + kFirstOffset);
  std::memcpy(rec.firstPattern, in + kFirstPattern, 20);
  rec.firstTerminator = in[kFirstTerminator];
  rec.secondOffset = getLe32(in + kSecondOffset);
  std::memcpy(rec.secondPattern, in + kSecondPattern, 20);
  rec.secondTerminator = in[kSecondTerminator];
  rec.fileSize = getLe32(in + kFileSize);
  rec.sizeRule = getLe32(in + kSizeRule);
  return rec;
}

void encodeUuRecord(const UuSignatureRecord& rec, uint8_t* out) {
  std::memcpy(out + kUuName, rec.name, sizeof rec.name);
  putLe32(out + kUuSize, rec.size);
  putLe16(out + kUuPosition, static_cast<uint16_t>(rec.position));
  putLe16(out + kUuPatternLength, rec.patternLength);
  putLe16(out + kUuRegion, static_cast<uint16_t>(rec.region));
  std::memcpy(out + kUuPattern, rec.pattern, sizeof rec.pattern);
  putLe16(out + kUuMethod, static_cast<uint16_t>(rec.method));
  putLe16(out + kUuUnused1, static_cast<uint16_t>(rec.unused1));
  putLe16(out + kUuSizeRule, static_cast<uint16_t>(rec.uuSizeRule));
  putLe16(out + kUuUnused2, static_cast<uint16_t>(rec.unused2));
  std::memcpy(out + kUuReserved, rec.reserved, sizeof rec.reserved);
}

UuSignatureRecord decodeUuRecord(const uint8_t* in) {
  UuSignatureRecord rec;
  std::memcpy(rec.name, in + kUuName, sizeof rec.name);
  rec.size = getLe32(in + kUuSize);
  rec.position = static_cast<int16_t>(getLe16(in + kUuPosition));
  rec.patternLength = getLe16(in + kUuPatternLength);
  rec.region = static_cast<int16_t>(getLe16(in + kUuRegion));
  std::memcpy(rec.pattern, in + kUuPattern, sizeof rec.pattern);
  rec.method = static_cast<int16_t>(getLe16(in + kUuMethod));
  rec.unused1 = static_cast<int16_t>(getLe16(in + kUuUnused1));
  rec.uuSizeRule = static_cast<int16_t>(getLe16(in + kUuSizeRule));
  rec.unused2 = static_cast<int16_t>(getLe16(in + kUuUnused2));
  std::memcpy(rec.reserved, in + kUuReserved, sizeof rec.reserved);
  return rec;
}

ParsedTable parseTable(const uint8_t* data, size_t size) {
  ParsedTable t;
  if (size % kRecordSize != 0) {
    t.errors.push_back("length " + std::to_string(size) + " is not a multiple of " +
                       std::to_string(kRecordSize) + " (" + std::to_string(size % kRecordSize) +
                       " bytes left over)");
  }
  const size_t count = size / kRecordSize;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = data + i * kRecordSize;
    const std::string where = "record " + std::to_string(i) + ": ";
    if (p[0] == 0) {
      t.endRecordFound = true;
      if (std::any_of(p, p + kRecordSize, [](uint8_t b) { return b != 0; })) {
        t.warnings.push_back(where + "end record holds non-zero bytes");
      }
      if (i + 1 != count) {
        t.errors.push_back(where + "end record is followed by " + std::to_string(count - i - 1) +
                           " more record(s)");
      }
      break;
    }
    const SignatureRecord rec = decodeRecord(p);
    const void* nul = std::memchr(rec.name, 0, sizeof rec.name);
    if (nul == nullptr) {
      t.errors.push_back(where + "name is not NUL-terminated");
    } else {
      const size_t len = static_cast<size_t>(static_cast<const char*>(nul) - rec.name);
      for (size_t k = 0; k < len; ++k) {
        const unsigned char c = static_cast<unsigned char>(rec.name[k]);
        if (c < 0x20 || c > 0x7e) {
          t.errors.push_back(where + "name byte " + std::to_string(k) + " is not printable");
          break;
        }
      }
      for (size_t k = len; k < sizeof rec.name; ++k) {
        if (rec.name[k] != 0) {
          t.errors.push_back(where + "name field is not zero-padded");
          break;
        }
      }
    }
    if (rec.firstTerminator != 0) t.errors.push_back(where + "first terminator byte is not 0");
    if (rec.secondTerminator != 0) t.errors.push_back(where + "second terminator byte is not 0");
    if (rec.sizeRule < 1 || rec.sizeRule > 3) {
      t.errors.push_back(where + "unknown size rule " + std::to_string(rec.sizeRule));
    }
    if (rec.fileSize <= 0) t.warnings.push_back(where + "file size is not positive");
    t.records.push_back(rec);
  }
  if (!t.endRecordFound) t.errors.push_back("no end record (a record whose name starts with a zero byte)");
  return t;
}

ParsedUuTable parseUuTable(const uint8_t* data, size_t size) {
  ParsedUuTable t;
  if (size == 0 || size % kUuRecordSize != 0) {
    t.errors.push_back("length " + std::to_string(size) + " is not a positive multiple of " +
                       std::to_string(kUuRecordSize));
  }
  const auto nonZero = [](uint8_t b) { return b != 0; };
  for (size_t i = 0; i < size / kUuRecordSize; ++i) {
    const UuSignatureRecord r = decodeUuRecord(data + i * kUuRecordSize);
    const std::string where = "record " + std::to_string(i) + ": ";
    if (std::memchr(r.name, 0, sizeof r.name) == nullptr) {
      t.errors.push_back(where + "name is not NUL-terminated");
    }
    const size_t length = std::min<size_t>(r.patternLength, sizeof r.pattern);
    if (r.patternLength > sizeof r.pattern) {
      t.errors.push_back(where + "pattern length " + std::to_string(r.patternLength) +
                         " exceeds " + std::to_string(sizeof r.pattern));
    }
    if (std::any_of(r.pattern + length, r.pattern + sizeof r.pattern, nonZero)) {
      t.warnings.push_back(where + "pattern bytes beyond the pattern length are not zero");
    }
    if (std::any_of(r.reserved, r.reserved + sizeof r.reserved, nonZero)) {
      t.warnings.push_back(where + "reserved bytes are not zero");
    }
    t.records.push_back(r);
  }
  return t;
}

std::string recordName(const SignatureRecord& rec) {
  const void* nul = std::memchr(rec.name, 0, sizeof rec.name);
  const size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - rec.name)
                         : sizeof rec.name;
  return std::string(rec.name, len);
}

TaggedName splitName(const std::string& name) {
  TaggedName tagged;
  const std::string prefix(kPrefix);
  if (name.compare(0, prefix.size(), prefix) != 0) return tagged;
  const std::string rest = name.substr(prefix.size());
  const std::string ransom(kRansomSuffix), plain(kPlainSuffix);
  // Test the longer suffix first: every Ransom name also ends in ".Trojan".
  if (endsWith(rest, ransom)) {
    const std::string tag = rest.substr(0, rest.size() - ransom.size());
    if (isTag(tag)) tagged = {NameShape::Ransom, tag};
  } else if (endsWith(rest, plain)) {
    const std::string tag = rest.substr(0, rest.size() - plain.size());
    if (isTag(tag)) tagged = {NameShape::Plain, tag};
  }
  return tagged;
}

TableStats computeStats(const std::vector<SignatureRecord>& records) {
  TableStats s;
  s.records = records.size();
  std::map<std::string, size_t> nameCounts;
  std::set<std::array<uint8_t, 44>> signatures;
  bool first = true;
  for (const SignatureRecord& r : records) {
    const std::string name = recordName(r);
    ++nameCounts[name];
    const TaggedName tagged = splitName(name);
    switch (tagged.shape) {
      case NameShape::Ransom:
        ++s.ransomNames;
        ++s.ransomTagLengths[tagged.tag.size()];
        break;
      case NameShape::Plain:
        ++s.plainNames;
        ++s.plainTagLengths[tagged.tag.size()];
        break;
      case NameShape::Other:
        ++s.otherNames;
        break;
    }
    if (r.firstOffset < 0) ++s.firstNegative;
    if (r.secondOffset < 0) ++s.secondNegative;
    if (std::find(r.firstPattern, r.firstPattern + 20, 0) != r.firstPattern + 20) {
      ++s.firstPatternsWithZero;
    }
    ++s.ruleCounts[int32_t{r.sizeRule}];

    std::array<uint8_t, 44> key;
    putLe32(key.data(), r.fileSize);
    std::memcpy(key.data() + 4, r.firstPattern, 20);
    std::memcpy(key.data() + 24, r.secondPattern, 20);
    if (!signatures.insert(key).second) ++s.duplicateSignatures;

    // Packed fields are copied out before use: std::min and std::max take references.
    const int32_t firstOffset = r.firstOffset, secondOffset = r.secondOffset, fileSize = r.fileSize;
    const int32_t lo = std::min(firstOffset, secondOffset);
    const int32_t hi = std::max(firstOffset, secondOffset);
    if (first) {
      s.minOffset = lo;
      s.maxOffset = hi;
      s.minSize = s.maxSize = fileSize;
      s.minNameLength = s.maxNameLength = name.size();
      first = false;
    } else {
      s.minOffset = std::min(s.minOffset, lo);
      s.maxOffset = std::max(s.maxOffset, hi);
      s.minSize = std::min(s.minSize, fileSize);
      s.maxSize = std::max(s.maxSize, fileSize);
      s.minNameLength = std::min(s.minNameLength, name.size());
      s.maxNameLength = std::max(s.maxNameLength, name.size());
    }
  }
  s.distinctNames = nameCounts.size();
  for (const auto& kv : nameCounts) {
    if (kv.second > 1) ++s.repeatedNames;
    s.largestGroup = std::max(s.largestGroup, kv.second);
  }
  return s;
}

std::string formatStats(const TableStats& s) {
  std::ostringstream os;
  os << "records: " << s.records << "\n";
  os << "Ransom names: " << s.ransomNames << " (" << formatCounts(s.ransomTagLengths) << ")\n";
  os << "plain names: " << s.plainNames << " (" << formatCounts(s.plainTagLengths) << ")\n";
  os << "other names: " << s.otherNames << "\n";
  os << "name lengths: " << s.minNameLength << " to " << s.maxNameLength << "\n";
  os << "distinct names: " << s.distinctNames << "\n";
  os << "names on more than one record: " << s.repeatedNames << " (largest group "
     << s.largestGroup << ")\n";
  os << "negative first offsets: " << s.firstNegative << "\n";
  os << "negative second offsets: " << s.secondNegative << "\n";
  os << "offsets: " << s.minOffset << " to " << s.maxOffset << "\n";
  os << "first patterns with a zero byte: " << s.firstPatternsWithZero << "\n";
  os << "file sizes: " << s.minSize << " to " << s.maxSize << "\n";
  os << "size rules:";
  for (const auto& kv : s.ruleCounts) os << " " << kv.first << "=" << kv.second;
  os << "\n";
  os << "repeated size+pattern signatures: " << s.duplicateSignatures << "\n";
  return os.str();
}

std::string hexBytes(const uint8_t* bytes, size_t count) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

bool readFile(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace sigtable
