// The file signature matcher: PE header acceptance, RVA mapping, size rules,
// record order and the three modes (drive scan, memory check, kill-then-act).
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/pe_matcher.h"
#include "engine/signature_table.h"
#include "engine/walker.h"
#include "platform/system.h"
#include "samples/pe_builder.h"
#include "samples/signature_builder.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

using Pattern = std::vector<uint8_t>;

Pattern patternFrom(uint8_t seed) {
  Pattern bytes(20);
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<uint8_t>(seed + 7 * i + 1);
  return bytes;
}

const Pattern kFirst = patternFrom(0x30);
const Pattern kSecond = patternFrom(0x90);

SignatureRecord makeRecord(const char* name, int32_t firstOffset, const Pattern& first,
                           int32_t secondOffset, const Pattern& second, int32_t fileSize,
                           int32_t sizeRule) {
  return signatureRecord(name, firstOffset, first.data(), secondOffset, second.data(), fileSize,
                         sizeRule);
}

// The standard sample: 0x3000 bytes, one section at RVA 0x1000 stored at 0x400,
// entry point 0x1400 (file position 0x800). The header stands at 0x40 so that
// even a 20-entry section table ends before the patterns.
constexpr uint32_t kSampleSize = 0x3000;
constexpr uint32_t kEntry = 0x1400;
constexpr int32_t kFirstDisplacement = -0x80;   // file position 0x780
constexpr int32_t kSecondDisplacement = 0x140;  // file position 0x940
constexpr uint32_t kFirstPosition = 0x780;
constexpr uint32_t kSecondPosition = 0x940;

PeImage standardImage() {
  PeImage image;
  image.fileSize = kSampleSize;
  image.entryPoint = kEntry;
  image.headerOffset = 0x40;
  image.sections.push_back(PeSection{0x1000, 0x2000, 0x400, 0x2C00});
  return image;
}

std::vector<uint8_t> standardSample(const PeImage& image = standardImage()) {
  PeBuilder builder(image);
  builder.placeAtOffset(kFirstPosition, kFirst.data(), 20);
  builder.placeAtOffset(kSecondPosition, kSecond.data(), 20);
  return builder.bytes();
}

SignatureRecord standardRecord(const char* name, int32_t sizeRule = 1,
                               int32_t fileSize = kSampleSize) {
  return makeRecord(name, kFirstDisplacement, kFirst, kSecondDisplacement, kSecond, fileSize,
                    sizeRule);
}

const char* const kPath = "C:\\dir\\sample.exe";

}  // namespace

class PeMatcherTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    g_session.memoryCheckMode = 0;
    g_session.actionCode = kActionReport;  // leaves the file, reports one line
  }
  void TearDown() override {
    useSignatureTable(nullptr);
    ScanFixture::TearDown();
  }

  void install(std::vector<SignatureRecord> records) {
    SignatureRecord end;
    std::memset(&end, 0, sizeof end);
    records.push_back(end);
    table_ = std::move(records);
    useSignatureTable(table_.data());
  }

  int match(const char* path = kPath) { return matchSignatureFile(kTrojanCheckName, path); }

  std::vector<SignatureRecord> table_;
};

// ---------------------------------------------------------------------------
// Header acceptance: which files are examined at all.

namespace {
struct HeaderCase {
  const char* what;
  void (*shape)(PeImage& image, std::vector<uint8_t>& bytes);
  bool examined;
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.what; }
}  // namespace


class PeHeaderTest : public PeMatcherTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(PeHeaderTest, ExaminesOnlyAcceptedHeaders) {
  const HeaderCase& c = GetParam();
  PeImage image = standardImage();
  std::vector<uint8_t> unused;
  c.shape(image, unused);  // first pass: image settings
  std::vector<uint8_t> bytes = standardSample(image);
  c.shape(image, bytes);   // second pass: byte edits
  writeFile(kPath, bytes);
  install({standardRecord("W32/Tarvolinex.Hdr.Trojan", 3)});

  EXPECT_EQ(match(), c.examined ? 1 : 0) << c.what;
  EXPECT_EQ(g_session.filesInfected, c.examined ? 1 : 0) << c.what;
  EXPECT_EQ(lines.size(), c.examined ? 1u : 0u) << c.what;
  if (!c.examined) {
    // A rejected file leaves its path in currentFile and sends nothing.
    EXPECT_STREQ(g_session.currentFile, kPath) << c.what;
  }
  EXPECT_EQ(simMachine().openFiles, 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, PeHeaderTest,
    ::testing::Values(
        HeaderCase{"standard file", [](PeImage&, std::vector<uint8_t>&) {}, true},
        HeaderCase{"no MZ at the start",
                   [](PeImage& image, std::vector<uint8_t>&) { image.dosSignature = false; },
                   true},
        HeaderCase{"20 sections",
                   [](PeImage& image, std::vector<uint8_t>&) { image.sectionCountOverride = 20; },
                   true},
        HeaderCase{"21 sections",
                   [](PeImage& image, std::vector<uint8_t>&) { image.sectionCountOverride = 21; },
                   false},
        HeaderCase{"no sections: displacements read at the raw RVA",
                   [](PeImage& image, std::vector<uint8_t>& bytes) {
                     image.sections.clear();
                     if (bytes.empty()) return;
                     // Without sections the patterns are looked for at the RVA itself.
                     std::memcpy(&bytes[kEntry + kFirstDisplacement], kFirst.data(), 20);
                     std::memcpy(&bytes[kEntry + kSecondDisplacement], kSecond.data(), 20);
                   },
                   true},
        HeaderCase{"offset at 60 has a non-zero upper half: only the low 16 bits count",
                   [](PeImage&, std::vector<uint8_t>& bytes) {
                     if (bytes.empty()) return;
                     bytes[62] = 0x01;  // stored offset 0x00010040
                   },
                   true},
        HeaderCase{"PE header beyond 64 KiB: looked for at the low 16 bits, not found",
                   [](PeImage& image, std::vector<uint8_t>& bytes) {
                     if (bytes.empty()) {
                       image.fileSize = 0x12000;
                       return;
                     }
                     // Move the headers from 0x40 to 0x10040 and store the full offset.
                     const size_t headerBytes = 248 + 40;
                     std::memcpy(&bytes[0x10040], &bytes[0x40], headerBytes);
                     std::memset(&bytes[0x40], 0, headerBytes);
                     bytes[60] = 0x40;
                     bytes[61] = 0x00;
                     bytes[62] = 0x01;
                     bytes[63] = 0x00;
                   },
                   false},
        HeaderCase{"PE signature damaged",
                   [](PeImage&, std::vector<uint8_t>& bytes) {
                     if (!bytes.empty()) bytes[0x42] = 0x01;
                   },
                   false},
        HeaderCase{"file ends inside the optional header",
                   [](PeImage&, std::vector<uint8_t>& bytes) {
                     if (!bytes.empty()) bytes.resize(0x40 + 24 + 50);
                   },
                   false},
        HeaderCase{"file ends inside the section table",
                   [](PeImage& image, std::vector<uint8_t>& bytes) {
                     image.sectionCountOverride = 3;
                     if (!bytes.empty()) bytes.resize(0x40 + 248 + 40 * 2 + 10);
                   },
                   false},
        HeaderCase{"file shorter than offset 62",
                   [](PeImage&, std::vector<uint8_t>& bytes) {
                     if (!bytes.empty()) bytes.resize(61);
                   },
                   false}));

TEST_F(PeMatcherTest, MissingFileIsPassedOverSilently) {
  install({standardRecord("W32/Tarvolinex.Hdr.Trojan", 3)});
  EXPECT_EQ(match("C:\\dir\\absent.exe"), 0);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(g_session.filesInfected, 0);
}

// ---------------------------------------------------------------------------
// Mapping a displacement onto a file position.

namespace {
struct MappingCase {
  const char* what;
  std::vector<PeSection> sections;
  uint32_t entry;
  int32_t firstDisplacement, secondDisplacement;
  uint32_t firstPosition, secondPosition;  // where the matcher must read
};
void PrintTo(const MappingCase& c, std::ostream* os) { *os << c.what; }
}  // namespace


class PeMappingTest : public PeMatcherTest, public ::testing::WithParamInterface<MappingCase> {};

TEST_P(PeMappingTest, ReadsPatternsAtTheMappedPosition) {
  const MappingCase& c = GetParam();
  PeImage image;
  image.fileSize = kSampleSize;
  image.entryPoint = c.entry;
  image.headerOffset = 0x40;
  image.sizeOfHeaders = 0x400;
  image.sections = c.sections;
  PeBuilder builder(image);
  builder.placeAtOffset(c.firstPosition, kFirst.data(), 20);
  builder.placeAtOffset(c.secondPosition, kSecond.data(), 20);
  writeFile(kPath, builder.bytes());
  install({makeRecord("W32/Tarvolinex.Map.Trojan", c.firstDisplacement, kFirst,
                      c.secondDisplacement, kSecond, kSampleSize, 1)});
  EXPECT_EQ(match(), 1) << c.what;

  // The same file with the patterns one byte off is not a match.
  builder.placeAtOffset(c.firstPosition, kSecond.data(), 20);
  builder.placeAtOffset(c.firstPosition + 1, kFirst.data(), 20);
  writeFile(kPath, builder.bytes());
  EXPECT_EQ(match(), 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Mapping, PeMappingTest,
    ::testing::Values(
        MappingCase{"inside the first section", {{0x1000, 0x2000, 0x400, 0x2C00}}, 0x1400,
                    -0x80, 0x140, 0x780, 0x940},
        MappingCase{"second section when the first ends below the RVA",
                    {{0x1000, 0x800, 0x400, 0x800}, {0x2000, 0x1000, 0x1200, 0x1000}}, 0x2100,
                    -0xC00, 0x100, 0x900, 0x1400},
        MappingCase{"RVA below a section's start maps into that section",
                    {{0x2000, 0x1000, 0x1000, 0x1000}}, 0x1800, 0, 0x900, 0x800, 0x1100},
        MappingCase{"RVA beyond every section uses the last one",
                    {{0x1000, 0x100, 0x400, 0x100}, {0x1100, 0x100, 0x600, 0x100}}, 0x1150,
                    0x200, -0x50, 0x850, 0x600},
        MappingCase{"mapping past the end of the file reads at the raw RVA",
                    {{0x1000, 0x10000, 0x2800, 0x800}}, 0x1400, 0x800, -0x100, 0x1C00, 0x2B00},
        MappingCase{"a mapping to position 0 reads at SizeOfHeaders",
                    {{0x1000, 0x2000, 0x0, 0x2000}}, 0x1000, 0, 0x200, 0x400, 0x200},
        MappingCase{"a mapping that wraps below 0 reads at the raw RVA",
                    {{0x1000, 0x2000, 0x400, 0x2C00}}, 0x1400, -0x1400 + 0x100, 0x140, 0x100,
                    0x940}));

// ---------------------------------------------------------------------------
// Size rules.

namespace {
struct SizeCase {
  int32_t rule;
  int32_t referenceMinusLength;  // fileSize - file length
  bool matches;
};
void PrintTo(const SizeCase& c, std::ostream* os) {
  *os << "rule " << c.rule << ", size minus length " << c.referenceMinusLength;
}
}  // namespace

class PeSizeRuleTest : public PeMatcherTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(PeSizeRuleTest, AppliesTheRecordsSizeRule) {
  const SizeCase& c = GetParam();
  writeFile(kPath, standardSample());
  install({standardRecord("W32/Tarvolinex.Siz.Trojan", c.rule,
                          static_cast<int32_t>(kSampleSize) + c.referenceMinusLength)});
  EXPECT_EQ(match(), c.matches ? 1 : 0) << "file opened to measure it";
  // The walker passes the listed length: a file the size rules could accept
  // must still be opened, one they cannot is passed over.
  EXPECT_EQ(matchSignatureFile(kTrojanCheckName, kPath, kSampleSize), c.matches ? 1 : 0)
      << "length as listed";
}

TEST_F(PeMatcherTest, DriveWalkFindsFilesWithinTheSizeToleranceAndAnySizeRecords) {
  g_session.actionCode = kActionReport;
  // Two samples 4095 bytes below and above the rule-2 record's size; the
  // rule-3 record after it takes the files beyond that tolerance.
  const int32_t reference = static_cast<int32_t>(kSampleSize) + 4095;
  PeImage shorter = standardImage();
  PeImage longer = standardImage();
  longer.fileSize = kSampleSize + 2 * 4095;
  PeImage anySize = standardImage();
  anySize.fileSize = kSampleSize + 123457;
  writeFile("C:\\scan\\shorter.exe", standardSample(shorter));
  writeFile("C:\\scan\\longer.exe", standardSample(longer));
  writeFile("C:\\scan\\other\\any.exe", standardSample(anySize));
  std::vector<SignatureRecord> records = {
      standardRecord("W32/Tarvolinex.Tol.Trojan", 2, reference),
      makeRecord("W32/Tarvolinex.Any.Trojan", kFirstDisplacement, kFirst, kSecondDisplacement,
                 kSecond, 1, 3)};
  install(records);
  writeFile("C:\\scan\\far.exe", [&] {
    PeImage far = standardImage();
    far.fileSize = kSampleSize + 2 * 4095 + 1;
    return standardSample(far);
  }());

  walkDirectory("C:\\scan\\*.*");

  const std::string tail = " not disinfected as per user's selection";
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "C:\\scan\\far.exe     W32/Tarvolinex.Any.Trojan" + tail,
                       "C:\\scan\\longer.exe     W32/Tarvolinex.Tol.Trojan" + tail,
                       "C:\\scan\\shorter.exe     W32/Tarvolinex.Tol.Trojan" + tail,
                       "C:\\scan\\other\\any.exe     W32/Tarvolinex.Any.Trojan" + tail}));
}

TEST_F(PeMatcherTest, RuleTwoToleranceEndsBeforeFourThousandNinetySixBytes) {
  // All three size rules in one table; only the rule-2 record's patterns are
  // in the samples, and rule-1 records have exactly the sizes 4096 bytes
  // below and above its size, so those lengths pass every coarser check.
  const Pattern other = patternFrom(0x11);
  const int32_t reference = static_cast<int32_t>(kSampleSize) + 4096;
  install({makeRecord("W32/Tarvolinex.Exa.Trojan", kFirstDisplacement, other, kSecondDisplacement,
                      kSecond, reference + 4096, 1),
           makeRecord("W32/Tarvolinex.Exb.Trojan", kFirstDisplacement, other, kSecondDisplacement,
                      kSecond, reference - 4096, 1),
           standardRecord("W32/Tarvolinex.Tol.Trojan", 2, reference),
           makeRecord("W32/Tarvolinex.Any.Trojan", kFirstDisplacement, other, kSecondDisplacement,
                      kSecond, 0, 3)});
  const std::pair<const char*, int32_t> files[] = {{"C:\\scan\\a_smaller4096.exe", -4096},
                                                   {"C:\\scan\\b_smaller4095.exe", -4095},
                                                   {"C:\\scan\\c_larger4095.exe", 4095},
                                                   {"C:\\scan\\d_larger4096.exe", 4096}};
  for (const auto& file : files) {
    PeImage image = standardImage();
    image.fileSize = static_cast<uint32_t>(reference + file.second);
    writeFile(file.first, standardSample(image));
  }

  walkDirectory("C:\\scan\\*.*");

  const std::string tail = "     W32/Tarvolinex.Tol.Trojan not disinfected as per user's selection";
  EXPECT_EQ(lines, (std::vector<std::string>{"C:\\scan\\b_smaller4095.exe" + tail,
                                             "C:\\scan\\c_larger4095.exe" + tail}));
}

// A listed length is let through to the file exactly when some record's size
// rule accepts it: checked length by length against the rules themselves, for
// a table whose accepted lengths overlap, touch, leave gaps of one byte and
// lie far apart (one record near 2 GB).
TEST_F(PeMatcherTest, ListedLengthIsLetThroughExactlyWhereSomeRuleAcceptsIt) {
  writeFile(kPath, standardSample());
  const int32_t base = static_cast<int32_t>(kSampleSize);
  struct Rule {
    int32_t rule;
    int32_t size;
  };
  const std::vector<Rule> rules = {
      {1, base},          {1, base + 5},        {1, base + 7},        {2, base + 20000},
      {2, base + 22000},  {2, base + 28191},    {1, base + 32287},    {1, base + 32289},
      {2, base + 50000},  {1, base + 50001},    {0, base + 70000},    {4, base + 70001},
      {2, 2000000000}};
  std::vector<SignatureRecord> records;
  for (const Rule& r : rules) records.push_back(standardRecord("W32/Tarvolinex.Len.Trojan", r.rule, r.size));
  install(records);
  auto accepted = [&rules](long long length) {
    for (const Rule& r : rules)
      if ((r.rule == 1 && length == r.size) ||
          (r.rule == 2 && length > r.size - kSizeTolerance && length < r.size + kSizeTolerance))
        return true;
    return false;
  };
  std::vector<long long> lengths = {0, 1, 2000000000LL - 4096, 2000000000LL - 4095, 2000000000LL + 4095,
                                    2000000000LL + 4096, 4000000000LL};
  for (long long length = base - 10; length < base + 60000; ++length) lengths.push_back(length);
  int letThrough = 0;
  for (long long length : lengths) {
    const bool expected = accepted(length);
    letThrough += expected;
    // The file on disk is the one the first record matches: opened, it is found.
    ASSERT_EQ(matchSignatureFile(kTrojanCheckName, kPath, length), expected ? 1 : 0)
        << "listed length " << length;
  }
  EXPECT_GT(letThrough, 3 * 8191);
  EXPECT_EQ(lines.size(), static_cast<size_t>(letThrough));
}

TEST_F(PeMatcherTest, TableIsReadNoFurtherThanItsRecords) {
  // A table without an end record: the matching record stored right after
  // its last record lies outside it and must never be read.
  std::vector<SignatureRecord> records = {
      standardRecord("W32/Tarvolinex.Aaa.Trojan", 1, kSampleSize + 1),
      standardRecord("W32/Tarvolinex.Bbb.Trojan", 1, kSampleSize + 2),
      standardRecord("W32/Tarvolinex.Out.Trojan")};
  writeFile(kPath, standardSample());
  useSignatureTable(records.data(), 2);
  EXPECT_EQ(match(), 0);
  EXPECT_EQ(matchSignatureFile(kTrojanCheckName, kPath, kSampleSize), 0);
  EXPECT_TRUE(lines.empty());
  useSignatureTable(records.data(), 3);
  EXPECT_EQ(match(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    SizeRules, PeSizeRuleTest,
    ::testing::Values(SizeCase{1, 0, true}, SizeCase{1, 1, false}, SizeCase{1, -1, false},
                      SizeCase{2, 0, true}, SizeCase{2, 4095, true}, SizeCase{2, -4095, true},
                      SizeCase{2, 4096, false}, SizeCase{2, -4096, false},
                      SizeCase{3, 0, true}, SizeCase{3, 1000000, true},
                      SizeCase{3, -1000000, true}, SizeCase{0, 0, false},
                      SizeCase{4, 0, false}, SizeCase{-1, 0, false}));

// ---------------------------------------------------------------------------
// Table order and pattern bytes.

TEST_F(PeMatcherTest, FirstMatchingRecordDecidesTheName) {
  struct Case {
    const char* what;
    std::vector<SignatureRecord> records;
    const char* reported;
  };
  const Pattern other = patternFrom(0x11);
  const std::vector<Case> cases = {
      {"two records with the same patterns",
       {standardRecord("W32/Tarvolinex.Aaa.Trojan"), standardRecord("W32/Tarvolinex.Bbb.Trojan")},
       "W32/Tarvolinex.Aaa.Trojan"},
      {"earlier record with a wrong first pattern",
       {makeRecord("W32/Tarvolinex.Ccc.Trojan", kFirstDisplacement, other, kSecondDisplacement,
                   kSecond, kSampleSize, 1),
        standardRecord("W32/Tarvolinex.Ddd.Trojan")},
       "W32/Tarvolinex.Ddd.Trojan"},
      {"earlier record with a wrong second pattern",
       {makeRecord("W32/Tarvolinex.Eee.Trojan", kFirstDisplacement, kFirst, kSecondDisplacement,
                   other, kSampleSize, 1),
        standardRecord("W32/Tarvolinex.Fff.Trojan")},
       "W32/Tarvolinex.Fff.Trojan"},
      {"earlier record reading past the end of the file",
       {makeRecord("W32/Tarvolinex.Ggg.Trojan", 0x100000, kFirst, kSecondDisplacement, kSecond,
                   kSampleSize, 1),
        standardRecord("W32/Tarvolinex.Hhh.Trojan")},
       "W32/Tarvolinex.Hhh.Trojan"},
      {"earlier record of the wrong size",
       {standardRecord("W32/Tarvolinex.Iii.Trojan", 1, kSampleSize + 1),
        standardRecord("W32/Tarvolinex.Jjj.Ransom.Trojan")},
       "W32/Tarvolinex.Jjj.Ransom.Trojan"},
      // Records of different size rules, and tolerance records of different
      // reference sizes, are still tried in table order.
      {"earlier record of any size",
       {standardRecord("W32/Tarvolinex.Kkk.Trojan", 3, 1),
        standardRecord("W32/Tarvolinex.Lll.Trojan")},
       "W32/Tarvolinex.Kkk.Trojan"},
      {"earlier record within the tolerance",
       {standardRecord("W32/Tarvolinex.Mmm.Trojan", 2, kSampleSize + 100),
        standardRecord("W32/Tarvolinex.Nnn.Trojan", 3, 0),
        standardRecord("W32/Tarvolinex.Ooo.Trojan")},
       "W32/Tarvolinex.Mmm.Trojan"},
      {"earlier tolerance record of the larger reference size",
       {standardRecord("W32/Tarvolinex.Ppp.Trojan", 2, kSampleSize + 100),
        standardRecord("W32/Tarvolinex.Qqq.Trojan", 2, kSampleSize - 100)},
       "W32/Tarvolinex.Ppp.Trojan"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lines.clear();
    writeFile(kPath, standardSample());
    install(c.records);
    g_session.actionCode = kActionDelete;
    EXPECT_EQ(match(), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string(kPath) + "     " + c.reported + " removed");
    EXPECT_STREQ(g_session.detectionName, c.reported);
    EXPECT_FALSE(exists(kPath));
  }
}

TEST_F(PeMatcherTest, ZeroBytesInPatternsAreCompared) {
  Pattern withZeros = kFirst;
  withZeros[0] = 0;
  withZeros[7] = 0;
  withZeros[19] = 0;
  struct Case {
    const char* what;
    uint8_t fileByteAt7;
    bool matches;
  };
  for (const Case& c : {Case{"same zero bytes", 0x00, true},
                        Case{"non-zero where the pattern has a zero", 0x01, false}}) {
    SCOPED_TRACE(c.what);
    PeBuilder builder(standardImage());
    Pattern inFile = withZeros;
    inFile[7] = c.fileByteAt7;
    builder.placeAtOffset(kFirstPosition, inFile.data(), 20);
    builder.placeAtOffset(kSecondPosition, kSecond.data(), 20);
    writeFile(kPath, builder.bytes());
    install({makeRecord("W32/Tarvolinex.Zer.Trojan", kFirstDisplacement, withZeros,
                        kSecondDisplacement, kSecond, kSampleSize, 1)});
    EXPECT_EQ(match(), c.matches ? 1 : 0);
  }
}

// ---------------------------------------------------------------------------
// Modes.

TEST_F(PeMatcherTest, OrdinaryMatchActsAndClearsCurrentFile) {
  writeFile(kPath, standardSample());
  install({standardRecord("W32/Tarvolinex.Ord.Trojan")});
  g_session.actionCode = kActionDelete;
  EXPECT_EQ(match(), 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(kPath) + "     W32/Tarvolinex.Ord.Trojan removed");
  EXPECT_EQ(g_session.filesInfected, 1);
  EXPECT_EQ(g_session.filesRemoved, 1);
  EXPECT_STREQ(g_session.statusText, kPath);
  EXPECT_STREQ(g_session.currentFile, "");
  EXPECT_EQ(g_session.currentFileLength, static_cast<int32_t>(kSampleSize));
  EXPECT_EQ(g_session.memoryHit, 0);
  EXPECT_EQ(simMachine().openFiles, 0);
}

TEST_F(PeMatcherTest, CleanPeFileClearsCurrentFileAndSendsNothing) {
  writeFile(kPath, standardSample());
  install({makeRecord("W32/Tarvolinex.Cln.Trojan", kFirstDisplacement, kSecond,
                      kSecondDisplacement, kFirst, kSampleSize, 1)});
  EXPECT_EQ(match(), 0);
  EXPECT_TRUE(lines.empty());
  EXPECT_STREQ(g_session.currentFile, "");
  EXPECT_EQ(g_session.filesInfected, 0);
}

TEST_F(PeMatcherTest, MemoryCheckModeCountsButTakesNoAction) {
  writeFile(kPath, standardSample());
  install({standardRecord("W32/Tarvolinex.Mem.Trojan")});
  g_session.memoryCheckMode = 1;
  g_session.actionCode = kActionDelete;
  EXPECT_EQ(match(), 1);
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(exists(kPath));
  EXPECT_EQ(g_session.filesInfected, 1);
  EXPECT_EQ(g_session.filesRemoved, 0);
  EXPECT_EQ(g_session.memoryHit, 1);
  EXPECT_STREQ(g_session.detectionName, "W32/Tarvolinex.Mem.Trojan");
  EXPECT_STREQ(g_session.statusText, kPath);
  EXPECT_STREQ(g_session.currentFile, kPath);  // kept for the memory stage
  EXPECT_EQ(simMachine().openFiles, 0);
}

TEST_F(PeMatcherTest, StartupValueNameIsClearedOnlyWhileNothingIsInfected) {
  writeFile(kPath, std::vector<uint8_t>(100, 0x41));  // not a PE file
  for (int infected : {0, 1}) {
    SCOPED_TRACE(infected);
    g_session.filesInfected = infected;
    std::strcpy(g_session.startupValueName, "Updater");
    match();
    EXPECT_STREQ(g_session.startupValueName, infected ? "Updater" : "");
  }
}

namespace {
std::string g_probeHostPath;
std::vector<bool> g_fileExistedAtLine;
}  // namespace

TEST_F(PeMatcherTest, KillThenActReportsMemoryLineThenActsWithoutMatching) {
  // Not a PE file at all: kill-then-act mode must not examine it.
  writeFile(kPath, std::vector<uint8_t>(64, 0x20));
  install({});
  g_session.killThenActAction = kActionDelete;
  g_session.actionCode = 0;
  g_session.memoryCheckMode = 1;
  g_probeHostPath = host(kPath);
  g_fileExistedAtLine.clear();
  bindReportChannel(ReportSink{[](const char* line) {
                                 lines.push_back(line);
                                 struct stat info;
                                 g_fileExistedAtLine.push_back(
                                     stat(g_probeHostPath.c_str(), &info) == 0);
                               },
                               nullptr});

  EXPECT_EQ(match(), 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "System Memory    W32/Tarvolinex.Trojan  removed");
  EXPECT_EQ(lines[1], std::string(kPath) + "     W32/Tarvolinex.Trojan  removed");
  EXPECT_TRUE(g_fileExistedAtLine[0]);   // sent before the removal
  EXPECT_FALSE(g_fileExistedAtLine[1]);
  EXPECT_FALSE(exists(kPath));
  EXPECT_EQ(g_session.actionCode, kActionDelete);
  EXPECT_EQ(g_session.filesInfected, 0);  // not matched again
  EXPECT_EQ(g_session.filesRemoved, 1);
  EXPECT_EQ(simMachine().pauses, std::vector<uint32_t>{1000});
  EXPECT_EQ(simMachine().clockMs, 1000u);
  EXPECT_STREQ(g_session.currentFile, "");
  EXPECT_EQ(simMachine().openFiles, 0);
}

