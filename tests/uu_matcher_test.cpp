// The uuencoded-file matcher: qualification by "begin", whitespace-free head
// and tail texts, the two search methods, the size rules, the once-only
// restoring of the stored pattern and the matcher's own actions.
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/signature_table.h"
#include "engine/uu_matcher.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

const char* const kPath = "C:\\WINDOWS\\hosts.uue";
const char* const kWorm = "W32/Nyxem.Worm";
const std::string kUninstallKey =
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\RHCJG7J0E38V";

struct RecordShape {
  std::string pattern;
  int16_t region = 0;
  int16_t method = 1;
  int16_t position = 0;
  int16_t sizeRule = 18;
  int32_t size = 0;
  int patternLength = -1;  // -1: the pattern's length
};

UuSignatureRecord makeRecord(const RecordShape& shape) {
  UuSignatureRecord record;
  std::memset(&record, 0, sizeof record);
  std::strcpy(record.name, kWorm);
  record.size = shape.size;
  record.position = shape.position;
  record.patternLength = static_cast<uint16_t>(
      shape.patternLength >= 0 ? shape.patternLength : static_cast<int>(shape.pattern.size()));
  record.region = shape.region;
  std::memcpy(record.pattern, shape.pattern.data(), shape.pattern.size());
  record.method = shape.method;
  record.unused1 = 4;
  record.uuSizeRule = shape.sizeRule;
  return record;
}

// Filler text without the letters the test patterns use.
std::string filler(size_t length) {
  std::string text;
  const std::string line = "M1111222233334444555566667777888899990000----====++++....////\r\n";
  while (text.size() < length) text += line;
  text.resize(length);
  return text;
}

// Restores the built-in record if no call has done so yet, so that the
// records tests install afterwards are used as they are written.
void restoreBuiltInPattern() {
  useUuSignatureTable(nullptr, 0);
  matchUuencodedFile(kTrojanCheckName, "C:\\no such file");
}

}  // namespace

class UuMatcherTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    restoreBuiltInPattern();
    g_session.memoryCheckMode = 0;
    g_session.actionCode = kActionReport;
  }
  void TearDown() override {
    useUuSignatureTable(nullptr, 0);
    ScanFixture::TearDown();
  }

  void install(const RecordShape& shape) {
    record_ = makeRecord(shape);
    useUuSignatureTable(&record_, 1);
  }

  int match(const char* path = kPath) { return matchUuencodedFile(kTrojanCheckName, path); }

  UuSignatureRecord record_;
};

// ---------------------------------------------------------------------------
// What matches.

namespace {
struct ContentCase {
  const char* what;
  RecordShape record;
  std::string content;
  bool matches;
};
void PrintTo(const ContentCase& c, std::ostream* os) { *os << c.what; }
}  // namespace


class UuContentTest : public UuMatcherTest, public ::testing::WithParamInterface<ContentCase> {};

TEST_P(UuContentTest, FindsThePatternInTheWhitespaceFreeText) {
  const ContentCase& c = GetParam();
  install(c.record);
  writeText(kPath, c.content);
  EXPECT_EQ(match(), c.matches ? 1 : 0) << c.what;
  EXPECT_EQ(g_session.filesInfected, c.matches ? 1 : 0) << c.what;
  EXPECT_EQ(lines.size(), c.matches ? 1u : 0u) << c.what;
  EXPECT_EQ(simMachine().openFiles, 0) << c.what;
}

RecordShape searchFor(const std::string& pattern, int16_t region = 0) {
  RecordShape shape;
  shape.pattern = pattern;
  shape.region = region;
  return shape;
}

RecordShape atPosition(const std::string& pattern, int16_t region, int16_t position) {
  RecordShape shape = searchFor(pattern, region);
  shape.method = 2;
  shape.position = position;
  return shape;
}

RecordShape sized(int16_t rule, int32_t size) {
  RecordShape shape = searchFor("QXZ");
  shape.sizeRule = rule;
  shape.size = size;
  return shape;
}

const std::string kHeader = "begin 644 hosts\r\n";  // stripped: "begin644hosts" (13)
const std::string kSmall = kHeader + "M1111QXZ2222\r\nend\r\n";
const int32_t kSmallLength = static_cast<int32_t>(kSmall.size());

INSTANTIATE_TEST_SUITE_P(
    Content, UuContentTest,
    ::testing::Values(
        ContentCase{"lower-case begin", searchFor("QXZ"), kSmall, true},
        ContentCase{"upper-case BEGIN", searchFor("QXZ"), "BEGIN 644 x\nQXZ\n", true},
        ContentCase{"mixed-case BeGiN", searchFor("QXZ"), "BeGiN 644 x\nQXZ\n", true},
        ContentCase{"blank before begin", searchFor("QXZ"), " begin 644 x\nQXZ\n", false},
        ContentCase{"no begin", searchFor("QXZ"), "start 644 x\nQXZ\n", false},
        ContentCase{"shorter than five bytes", searchFor("b"), "begi", false},
        ContentCase{"pattern absent", searchFor("QXZ"), kHeader + "QX Y\n", false},
        ContentCase{"pattern broken across lines and blanks", searchFor("QXZWVU"),
                    kHeader + "M11QX\r\n \tZW\x0b\x0cV\nU22\r\n", true},
        ContentCase{"region 0 misses a pattern only in the middle of a big file",
                    searchFor("QXZ"), kHeader + filler(6000) + "QXZ" + filler(6000), false},
        ContentCase{"region 0 finds it in the first 4096 bytes", searchFor("QXZ"),
                    kHeader + filler(4000) + "QXZ" + filler(6000), true},
        ContentCase{"region 1 finds it in the last 4096 bytes", searchFor("QXZ", 1),
                    kHeader + filler(8000) + "QXZ" + filler(1000), true},
        ContentCase{"region 1 misses it in the first 4096 bytes", searchFor("QXZ", 1),
                    kHeader + "QXZ" + filler(8000), false},
        // The zero padding up to n counts, but a match must end within n bytes.
        ContentCase{"zeros after the text within n", searchFor(std::string("xyz\0", 4)),
                    "begin\nxyz", true},
        ContentCase{"zeros reaching past n", searchFor(std::string("xyz\0\0", 5)), "begin\nxyz",
                    false},
        ContentCase{"disabled record", [] {
                      RecordShape s = searchFor("QXZ");
                      s.patternLength = 0;
                      return s;
                    }(),
                    kSmall, false},
        ContentCase{"pattern longer than the file", searchFor(std::string(40, 'M')),
                    "begin\n" + std::string(30, 'M'), false},
        // Fixed position: stripped head is "begin644hosts" then "M1111QXZ2222end".
        ContentCase{"fixed position in the head", atPosition("QXZ", 0, 18), kSmall, true},
        ContentCase{"fixed position one off", atPosition("QXZ", 0, 17), kSmall, false},
        ContentCase{"fixed position before the end of the tail", atPosition("QXZ", 1, 10),
                    kSmall, true},
        ContentCase{"fixed position beyond the head text reads zeros",
                    atPosition(std::string(3, '\0'), 0, 200), kSmall, true},
        // 28 bytes of tail text: a position beyond it gives nothing but zeros.
        ContentCase{"position beyond the tail text reads only zeros",
                    atPosition(std::string(3, '\0'), 1, 29), kSmall, true},
        ContentCase{"position beyond the tail text never reaches its bytes",
                    atPosition(std::string("\0be", 3), 1, 29), kSmall, false},
        // Size rules 16 and 17 compare with the examined file's length.
        ContentCase{"rule 16, equal", sized(16, kSmallLength), kSmall, true},
        ContentCase{"rule 16, one more", sized(16, kSmallLength + 1), kSmall, false},
        ContentCase{"rule 17, 4096 above", sized(17, kSmallLength + 4096), kSmall, true},
        ContentCase{"rule 17, 4097 above", sized(17, kSmallLength + 4097), kSmall, false},
        ContentCase{"rule 17, 4096 below", sized(17, kSmallLength - 4096), kSmall, true},
        ContentCase{"rule 17, 4097 below", sized(17, kSmallLength - 4097), kSmall, false},
        ContentCase{"rule 18, no test", sized(18, 999999), kSmall, true}));

// The tail is the last 4096 bytes; a pattern at the very start of the file is
// in it only while the file is at most 4096 bytes long.
TEST_F(UuMatcherTest, TailOfFilesAroundTheRegionSize) {
  install(searchFor("begin644", 1));
  for (size_t length : {4095u, 4096u, 4097u}) {
    SCOPED_TRACE(length);
    writeText(kPath, kHeader + filler(length - kHeader.size()));
    EXPECT_EQ(match(), length <= 4096 ? 1 : 0);
  }
}

TEST_F(UuMatcherTest, HeadOfFilesAroundTheRegionSize) {
  // A pattern in the last bytes of the file is in the head while the file
  // has at most 4096 bytes.
  install(searchFor("QXZ", 0));
  for (size_t length : {4095u, 4096u, 4097u}) {
    SCOPED_TRACE(length);
    writeText(kPath, kHeader + filler(length - kHeader.size() - 3) + "QXZ");
    EXPECT_EQ(match(), length <= 4096 ? 1 : 0);
  }
}

// ---------------------------------------------------------------------------
// The built-in record and its stored pattern.

TEST_F(UuMatcherTest, BuiltInRecordMatchesOnEveryCall) {
  std::ifstream in(std::string(DRENVALISK_SOURCE_DIR) + "/res/uu_signature.dat", std::ios::binary);
  std::vector<uint8_t> stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(stored.size(), sizeof(UuSignatureRecord));
  UuSignatureRecord shipped;
  std::memcpy(&shipped, stored.data(), sizeof shipped);
  const uint16_t length = shipped.patternLength;
  ASSERT_GT(length, 0);
  std::string plain;
  for (int i = 0; i < length; ++i) plain += static_cast<char>(shipped.pattern[i] ^ kUuPatternKey);
  ASSERT_EQ(plain.find_first_of(" \t\r\n\v\f"), std::string::npos);

  useUuSignatureTable(nullptr, 0);
  // Restored in place once, never scrambled again.
  EXPECT_EQ(std::memcmp(uuSignatureTable()[0].pattern, plain.data(), length), 0);

  // The pattern split over uuencoded lines, the way the worm's file carries it.
  std::string body = kHeader;
  for (size_t at = 0; at < plain.size(); at += 61) body += plain.substr(at, 61) + "\r\n";
  body += "`\r\nend\r\n";
  for (int call = 0; call < 3; ++call) {
    SCOPED_TRACE(call);
    writeText(kPath, body);
    EXPECT_EQ(match(), 1);
    EXPECT_STREQ(g_session.detectionName, kWorm);
  }
  EXPECT_EQ(std::memcmp(uuSignatureTable()[0].pattern, plain.data(), length), 0);
  EXPECT_EQ(g_session.filesInfected, 3);
}

// ---------------------------------------------------------------------------
// Actions.

namespace {
struct UuActionCase {
  const char* what;
  int actionCode;
  bool deleteFails;
  const char* words;  // nullptr: no line
  bool existsAfter;
  int removed, renamed;
};
void PrintTo(const UuActionCase& c, std::ostream* os) { *os << c.what; }
}  // namespace


class UuActionTest : public UuMatcherTest, public ::testing::WithParamInterface<UuActionCase> {};

TEST_P(UuActionTest, ActsAndCountsTheMatchWhateverTheOutcome) {
  const UuActionCase& c = GetParam();
  install(searchFor("QXZ"));
  writeText(kPath, kSmall);
  SimRegistryValue value;
  value.name = "UninstallString";
  std::string data = "C:\\rhc\\uninstall.exe";
  value.data.assign(data.begin(), data.end() + 1);
  simMachine().registry[kUninstallKey].values.push_back(value);
  simMachine().platformId = 2;  // NT: a refused deletion could be scheduled, but is not
  simMachine().majorVersion = 5;
  if (c.deleteFails) simMachine().failDeletes[simPathKey(kPath)] = -1;
  g_session.actionCode = c.actionCode;
  g_session.restartNeeded = 0;

  EXPECT_EQ(match(), 1) << c.what;
  EXPECT_EQ(g_session.filesInfected, 1) << c.what;
  EXPECT_STREQ(g_session.detectionName, kWorm) << c.what;
  EXPECT_STREQ(g_session.statusText, kPath) << c.what;
  if (c.words) {
    ASSERT_EQ(lines.size(), 1u) << c.what;
    EXPECT_EQ(lines[0], std::string(kPath) + "     " + kWorm + " " + c.words) << c.what;
  } else {
    EXPECT_TRUE(lines.empty()) << c.what;
  }
  EXPECT_EQ(exists(kPath), c.existsAfter) << c.what;
  EXPECT_EQ(g_session.filesRemoved, c.removed) << c.what;
  EXPECT_EQ(g_session.filesRenamed, c.renamed) << c.what;
  // The uninstall entry is cleaned after a deletion only.
  EXPECT_EQ(simMachine().registry[kUninstallKey].values.empty(), c.removed == 1) << c.what;
  EXPECT_TRUE(simMachine().delayedDeletes.empty()) << c.what;
  EXPECT_EQ(g_session.restartNeeded, 0) << c.what;
  EXPECT_EQ(simMachine().openFiles, 0) << c.what;
  EXPECT_EQ(simMachine().openKeys, 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Actions, UuActionTest,
    ::testing::Values(
        UuActionCase{"delete", kActionDelete, false, "removed", false, 1, 0},
        UuActionCase{"delete, code 102", kActionDeleteToo, false, "removed", false, 1, 0},
        UuActionCase{"delete refused", kActionDelete, true, "Remove failed", true, 0, 0},
        UuActionCase{"rename", kActionRename, false, "renamed", false, 0, 1},
        UuActionCase{"left in place", kActionReport, false,
                     "Not Disinfected As Per User's Selection", true, 0, 0},
        UuActionCase{"unknown code", 7, false, nullptr, true, 0, 0}));
