// gen_signatures OUTDIR
//
// Writes the built-in signature tables: OUTDIR/signatures.dat (1732 file
// signature records and the end record) and OUTDIR/uu_signature.dat (the one
// uuencoded-file record). Four rows of the file table are the published ones
// and are copied verbatim; every other record is a stand-in made from a fixed
// seed so that the table has the shape of the real one: name shapes and tag
// lengths, repeated names, offset signs and extremes, zero bytes in first
// patterns, file sizes. Only integer arithmetic and our own generator are
// used, so every compiler and platform writes the same bytes.
//
// Before writing, the generator measures its own table and refuses to write
// one that misses any target figure.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "engine/signature_record.h"
#include "samples/signature_builder.h"
#include "tools/sigtable_stats.h"

namespace {

// splitmix64: small, well mixed, and defined only by integer operations.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t below(uint64_t n) { return next() % n; }
  // Inclusive range.
  int64_t range(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(below(static_cast<uint64_t>(hi - lo) + 1));
  }
  template <typename T>
  void shuffle(std::vector<T>& v) {
    for (size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[below(i)]);
  }

 private:
  uint64_t state_;
};

constexpr uint64_t kSeed = 0x44726E766C736B31ull;

constexpr int kTotal = kSignatureCount;
constexpr int32_t kMinSize = 20199;
constexpr int32_t kMaxSize = 8335223;
constexpr int32_t kMostNegative = -177013;
constexpr int32_t kMostPositive = 438221;
// Ordinary records stay clear of the extremes so that each extreme occurs once.
constexpr int64_t kOrdinaryBack = 176900;
constexpr int64_t kOrdinaryForward = 437900;
// Headers and section table: the entry point never lies in the first 0x400 bytes.
constexpr int64_t kHeaderBytes = 0x400;

// Table positions of the published rows after the first.
constexpr int kCcePosition = 389;
constexpr int kCanPosition = 1046;
constexpr int kBboPosition = 1517;

SignatureRecord makeRecord(const char* name, int32_t firstOffset,
                           std::initializer_list<int> firstPattern, int32_t secondOffset,
                           std::initializer_list<int> secondPattern, int32_t fileSize) {
  uint8_t first[20] = {}, second[20] = {};
  std::copy(firstPattern.begin(), firstPattern.end(), first);
  std::copy(secondPattern.begin(), secondPattern.end(), second);
  return signatureRecord(name, firstOffset, first, secondOffset, second, fileSize);
}

SignatureRecord bejRow() {
  return makeRecord("W32/Tarvolinex.Bej.Ransom.Trojan", -30884,
                    {0x61, 0x5c, 0xba, 0x8a, 0x27, 0xb9, 0xa1, 0xca, 0x00, 0x2a,
                     0xd5, 0xf6, 0xdb, 0x6e, 0x85, 0xb7, 0xa3, 0x65, 0x00, 0xab},
                    91,
                    {0x07, 0x8b, 0x1e, 0x83, 0xee, 0xfc, 0x11, 0xdb, 0x11, 0xc9,
                     0x01, 0xdb, 0x75, 0x07, 0x8b, 0x1e, 0x83, 0xee, 0xfc, 0x11},
                    38400);
}

SignatureRecord cceRow() {
  return makeRecord("W32/Tarvolinex.Cce.Trojan", -7568,
                    {0x89, 0x3d, 0xca, 0x75, 0x40, 0x00, 0x3b, 0x5d, 0xfc, 0x8b,
                     0x35, 0xd6, 0x75, 0x40, 0x00, 0x8b, 0x0d, 0xe9, 0x71, 0x40},
                    39712,
                    {0xe9, 0xde, 0xc1, 0x33, 0x69, 0xe0, 0x96, 0xac, 0x22, 0x54,
                     0x66, 0xf7, 0xdd, 0xf2, 0xf8, 0xfb, 0x31, 0xe8, 0xa1, 0xa8},
                    52736);
}

SignatureRecord canRow() {
  return makeRecord("W32/Tarvolinex.Can.Trojan", 4759,
                    {0xc7, 0x44, 0x24, 0x20, 0x8c, 0xef, 0xff, 0xff, 0x89, 0x5c,
                     0x24, 0x38, 0x89, 0x5c, 0x24, 0x3c, 0x68, 0xa0, 0x93, 0x40},
                    23111,
                    {0x8c, 0xfe, 0xfc, 0xfe, 0xe0, 0x23, 0xe7, 0x22, 0x85, 0xfe,
                     0xc5, 0xfe, 0x8c, 0xfe, 0x3c, 0xfd, 0x81, 0xfe, 0xc3, 0xfe},
                    51712);
}

SignatureRecord bboRow() {
  return makeRecord("W32/Tarvolinex.Bbo.Trojan", -15392,
                    {0xa2, 0xd5, 0x21, 0xe5, 0x9a, 0x24, 0xcf, 0xd0, 0xd4, 0xbf,
                     0xbe, 0xf4, 0xdf, 0xfe, 0xcf, 0x79, 0x90, 0xbe, 0x98, 0x34},
                    -4496,
                    {0xe1, 0x8f, 0x76, 0xec, 0x23, 0x3b, 0x3f, 0x38, 0xd0, 0xfd,
                     0xe6, 0x25, 0x7e, 0xc5, 0xc0, 0xc7, 0xb8, 0xbc, 0xf7, 0xe6},
                    28672);
}

// ---- names -----------------------------------------------------------------

struct NameGroup {
  bool ransom;
  int tagLength;
  int copies;
};

// Names that several signatures share (one variant, several builds). 14 names,
// 49 records; the largest group has 14 records.
const NameGroup kSharedNames[] = {
    {true, 4, 14}, {true, 3, 5},  {true, 4, 4},  {false, 3, 4}, {true, 4, 3},
    {true, 3, 3},  {true, 4, 2},  {true, 4, 2},  {true, 4, 2},  {true, 4, 2},
    {true, 4, 2},  {true, 3, 2},  {true, 3, 2},  {false, 4, 2},
};

// Records per name shape and tag length over the whole table, published rows
// included (Bej is a three-letter Ransom tag; Cce, Can, Bbo three-letter plain).
struct ShapeCount {
  bool ransom;
  int tagLength;
  int records;
  int published;
};
const ShapeCount kShapeCounts[] = {
    {true, 2, 3, 0}, {true, 3, 501, 1}, {true, 4, 1172, 0}, {false, 3, 45, 3}, {false, 4, 11, 0},
};

std::string fullName(bool ransom, const std::string& tag) {
  return "W32/Tarvolinex." + tag + (ransom ? ".Ransom.Trojan" : ".Trojan");
}

std::string freshName(Rng& rng, bool ransom, int tagLength, std::set<std::string>& used) {
  for (;;) {
    std::string tag(1, static_cast<char>('A' + rng.below(26)));
    for (int i = 1; i < tagLength; ++i) tag += static_cast<char>('a' + rng.below(26));
    std::string name = fullName(ransom, tag);
    if (used.insert(name).second) return name;
  }
}

// The names of the generated records, one per record, in no particular order.
std::vector<std::string> makeNames(Rng& rng) {
  std::set<std::string> used = {bejRow().name, cceRow().name, canRow().name, bboRow().name};
  std::vector<std::string> names;
  for (const ShapeCount& shape : kShapeCounts) {
    int remaining = shape.records - shape.published;
    for (const NameGroup& g : kSharedNames) {
      if (g.ransom != shape.ransom || g.tagLength != shape.tagLength) continue;
      const std::string name = freshName(rng, g.ransom, g.tagLength, used);
      names.insert(names.end(), static_cast<size_t>(g.copies), name);
      remaining -= g.copies;
    }
    for (; remaining > 0; --remaining) {
      names.push_back(freshName(rng, shape.ransom, shape.tagLength, used));
    }
  }
  return names;
}

// ---- offsets, sizes, patterns -----------------------------------------------

// Where the two patterns stand relative to the entry point.
enum class Placement { BeforeAfter, BothBefore, BothAfter };

// Most program files are small; a few are large. Sizes are mostly whole
// 512-byte file-alignment units, as linkers write them.
int32_t drawSize(Rng& rng, int64_t lo, int64_t hi) {
  int64_t size = rng.range(lo, hi);
  if (rng.below(100) < 85) {
    const int64_t rounded = (size + 511) / 512 * 512;
    if (rounded <= hi) size = rounded;
  }
  return static_cast<int32_t>(size);
}

int32_t drawOrdinarySize(Rng& rng) {
  const uint64_t tier = rng.below(100);
  if (tier < 55) return drawSize(rng, 20480, 99999);
  if (tier < 80) return drawSize(rng, 100000, 299999);
  if (tier < 92) return drawSize(rng, 300000, 999999);
  if (tier < 98) return drawSize(rng, 1000000, 2999999);
  return drawSize(rng, 3000000, 8300000);
}

// Entry point file position: after the headers, in the first 60% of the file.
int64_t drawEntryPoint(Rng& rng, int64_t size) {
  return kHeaderBytes + 64 + rng.range(0, size * 60 / 100 - kHeaderBytes - 64);
}

// Places both patterns inside a file of `size` bytes whose entry point stands
// at `ep`. The distance between the two patterns is at least 20, so they
// never overlap.
void placePatterns(Rng& rng, Placement where, int64_t size, int64_t ep, SignatureRecord& r) {
  const int64_t back = std::min<int64_t>(ep - kHeaderBytes, kOrdinaryBack);
  const int64_t forward = std::min<int64_t>(size - ep - 20, kOrdinaryForward);
  switch (where) {
    case Placement::BeforeAfter:
      r.firstOffset = static_cast<int32_t>(-rng.range(20, back));
      r.secondOffset = static_cast<int32_t>(rng.range(1, forward));
      break;
    case Placement::BothBefore: {
      const int64_t first = rng.range(40, back);
      r.firstOffset = static_cast<int32_t>(-first);
      r.secondOffset = static_cast<int32_t>(-rng.range(1, first - 20));
      break;
    }
    case Placement::BothAfter: {
      const int64_t first = rng.range(1, forward / 2);
      r.firstOffset = static_cast<int32_t>(first);
      r.secondOffset = static_cast<int32_t>(rng.range(first + 20, forward));
      break;
    }
  }
}

void fillPatterns(Rng& rng, bool zeroInFirst, SignatureRecord& r) {
  for (uint8_t& b : r.firstPattern) b = static_cast<uint8_t>(1 + rng.below(255));
  if (zeroInFirst) {
    // Immediates and displacements in code carry zero bytes, often several.
    const uint64_t zeros = 1 + rng.below(5);
    for (uint64_t i = 0; i < zeros; ++i) r.firstPattern[rng.below(20)] = 0;
  }
  for (uint8_t& b : r.secondPattern) b = static_cast<uint8_t>(rng.below(256));
}

// A record that must carry one of the table's extremes.
enum class Extreme { None, SmallestFile, LargestFile, MostNegative, MostPositive };

SignatureRecord makeGenerated(Rng& rng, const std::string& name, Placement where,
                              bool zeroInFirst, Extreme extreme) {
  const uint8_t unset[20] = {};  // placed and filled below
  SignatureRecord r = signatureRecord(name.c_str(), 0, unset, 0, unset, 0);

  int64_t size = 0;
  switch (extreme) {
    case Extreme::SmallestFile: size = kMinSize; break;
    case Extreme::LargestFile: size = kMaxSize; break;
    case Extreme::MostNegative: size = drawSize(rng, 400000, 2999999); break;
    case Extreme::MostPositive: size = drawSize(rng, 700000, 2999999); break;
    case Extreme::None: size = drawOrdinarySize(rng); break;
  }
  r.fileSize = static_cast<int32_t>(size);

  if (extreme == Extreme::MostNegative) {
    const int64_t ep = rng.range(-int64_t{kMostNegative} + kHeaderBytes + 0x200, size * 60 / 100);
    r.firstOffset = kMostNegative;
    r.secondOffset = static_cast<int32_t>(rng.range(1, std::min<int64_t>(size - ep - 20, kOrdinaryForward)));
  } else if (extreme == Extreme::MostPositive) {
    const int64_t ep = rng.range(kHeaderBytes + 0x200, size - kMostPositive - 0x200);
    r.firstOffset = static_cast<int32_t>(-rng.range(20, std::min<int64_t>(ep - kHeaderBytes, kOrdinaryBack)));
    r.secondOffset = kMostPositive;
  } else {
    placePatterns(rng, where, size, drawEntryPoint(rng, size), r);
  }
  fillPatterns(rng, zeroInFirst, r);
  return r;
}

// Index of the first record at or after a random start (wrapping) that has
// the wanted placement and no extreme yet.
size_t pickIndex(Rng& rng, const std::vector<Placement>& placements,
                 const std::vector<Extreme>& extremes, Placement wanted) {
  size_t i = static_cast<size_t>(rng.below(placements.size()));
  while (placements[i] != wanted || extremes[i] != Extreme::None) i = (i + 1) % placements.size();
  return i;
}

std::vector<SignatureRecord> makeTable() {
  Rng rng(kSeed);
  const int generated = kTotal - 4;

  std::vector<std::string> names = makeNames(rng);
  rng.shuffle(names);

  // Published rows: first offset negative in Bej, Cce, Bbo; second in Bbo.
  const int firstNegative = 1571 - 3;
  const int bothBefore = 21 - 1;
  std::vector<Placement> placements;
  placements.insert(placements.end(), static_cast<size_t>(firstNegative - bothBefore),
                    Placement::BeforeAfter);
  placements.insert(placements.end(), static_cast<size_t>(bothBefore), Placement::BothBefore);
  placements.insert(placements.end(), static_cast<size_t>(generated - firstNegative),
                    Placement::BothAfter);
  rng.shuffle(placements);

  // Bej and Cce have zero bytes in their first patterns; Can and Bbo do not.
  const int withZero = 1024 - 2;
  std::vector<uint8_t> zeroInFirst(static_cast<size_t>(generated), 0);
  std::fill(zeroInFirst.begin(), zeroInFirst.begin() + withZero, 1);
  rng.shuffle(zeroInFirst);

  std::vector<Extreme> extremes(static_cast<size_t>(generated), Extreme::None);
  extremes[pickIndex(rng, placements, extremes, Placement::BeforeAfter)] = Extreme::MostNegative;
  extremes[pickIndex(rng, placements, extremes, Placement::BeforeAfter)] = Extreme::MostPositive;
  extremes[pickIndex(rng, placements, extremes, Placement::BeforeAfter)] = Extreme::SmallestFile;
  extremes[pickIndex(rng, placements, extremes, Placement::BothAfter)] = Extreme::LargestFile;

  std::vector<SignatureRecord> rest;
  for (size_t i = 0; i < static_cast<size_t>(generated); ++i) {
    rest.push_back(makeGenerated(rng, names[i], placements[i], zeroInFirst[i] != 0, extremes[i]));
  }

  std::vector<SignatureRecord> table;
  table.push_back(bejRow());
  size_t next = 0;
  for (int pos = 1; pos < kTotal; ++pos) {
    if (pos == kCcePosition) table.push_back(cceRow());
    else if (pos == kCanPosition) table.push_back(canRow());
    else if (pos == kBboPosition) table.push_back(bboRow());
    else table.push_back(rest[next++]);
  }
  return table;
}

// The one uuencoded-file record. Its pattern is a stretch of uuencoded text
// with whitespace removed: two 61-character lines, each starting with the
// length character 'M' (45 bytes), body characters from '!' to '`'.
UuSignatureRecord makeUuRecord() {
  UuSignatureRecord r;
  std::memset(&r, 0, sizeof r);
  std::strncpy(r.name, "W32/Nyxem.Worm", sizeof r.name - 1);
  r.size = 134042;
  r.position = 1888;
  r.patternLength = 100;
  r.region = 0;
  r.method = 1;
  r.unused1 = 4;
  r.uuSizeRule = 18;
  r.unused2 = 0;
  Rng rng(kSeed ^ 0x5575656E636F6465ull);
  for (int i = 0; i < 100; ++i) {
    const uint8_t plain = (i % 61 == 0) ? uint8_t{'M'} : static_cast<uint8_t>(0x21 + rng.below(0x40));
    r.pattern[i] = static_cast<uint8_t>(plain ^ kUuPatternKey);
  }
  return r;
}

template <typename Map>
long long countOf(const Map& m, typename Map::key_type key) {
  const auto it = m.find(key);
  return it == m.end() ? 0 : static_cast<long long>(it->second);
}

struct Expect {
  const char* what;
  long long got;
  long long want;
};

bool checkTable(const std::vector<SignatureRecord>& table) {
  const sigtable::TableStats s = sigtable::computeStats(table);
  const Expect expects[] = {
      {"records", (long long)s.records, kTotal},
      {"Ransom names", (long long)s.ransomNames, 1676},
      {"plain names", (long long)s.plainNames, 56},
      {"other names", (long long)s.otherNames, 0},
      {"Ransom 2-letter tags", (long long)countOf(s.ransomTagLengths, 2), 3},
      {"Ransom 3-letter tags", (long long)countOf(s.ransomTagLengths, 3), 501},
      {"Ransom 4-letter tags", (long long)countOf(s.ransomTagLengths, 4), 1172},
      {"plain 3-letter tags", (long long)countOf(s.plainTagLengths, 3), 45},
      {"plain 4-letter tags", (long long)countOf(s.plainTagLengths, 4), 11},
      {"distinct names", (long long)s.distinctNames, 1697},
      {"repeated names", (long long)s.repeatedNames, 14},
      {"largest group", (long long)s.largestGroup, 14},
      {"negative first offsets", (long long)s.firstNegative, 1571},
      {"negative second offsets", (long long)s.secondNegative, 21},
      {"smallest offset", s.minOffset, kMostNegative},
      {"largest offset", s.maxOffset, kMostPositive},
      {"first patterns with zero", (long long)s.firstPatternsWithZero, 1024},
      {"smallest size", s.minSize, kMinSize},
      {"largest size", s.maxSize, kMaxSize},
      {"size rule 1", (long long)countOf(s.ruleCounts, 1), kTotal},
      {"repeated signatures", (long long)s.duplicateSignatures, 0},
  };
  bool ok = true;
  for (const Expect& e : expects) {
    if (e.got != e.want) {
      std::fprintf(stderr, "gen_signatures: %s is %lld, want %lld\n", e.what, e.got, e.want);
      ok = false;
    }
  }
  for (size_t i = 0; i < table.size(); ++i) {
    const SignatureRecord& r = table[i];
    if (std::abs(static_cast<long long>(r.firstOffset)) >= r.fileSize ||
        std::abs(static_cast<long long>(r.secondOffset)) >= r.fileSize) {
      std::fprintf(stderr, "gen_signatures: record %zu has an offset beyond its file size\n", i);
      ok = false;
    }
  }
  return ok;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "gen_signatures: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_signatures OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];

  const std::vector<SignatureRecord> table = makeTable();
  if (!checkTable(table)) return 1;

  // The records, then an all-zero end record.
  std::vector<uint8_t> bytes((table.size() + 1) * sigtable::kRecordSize, 0);
  for (size_t i = 0; i < table.size(); ++i) {
    sigtable::encodeRecord(table[i], bytes.data() + i * sigtable::kRecordSize);
  }
  std::vector<uint8_t> uu(sigtable::kUuRecordSize, 0);
  sigtable::encodeUuRecord(makeUuRecord(), uu.data());

  if (!writeFile(dir + "/signatures.dat", bytes)) return 1;
  if (!writeFile(dir + "/uu_signature.dat", uu)) return 1;
  return 0;
}
