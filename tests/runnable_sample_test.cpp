// Runnable samples: an executable rewritten to carry a record's patterns in
// its pad section, behind a jump to the original entry point, at the record's
// exact size. The matcher must detect the result as that record, for PE32 and
// for PE32+ files (whose section table has to move to where the matcher reads).
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/pe_matcher.h"
#include "engine/signature_table.h"
#include "samples/pe_builder.h"
#include "samples/runnable_sample.h"
#include "samples/signature_builder.h"
#include "tests/support/scan_fixture.h"

namespace {

constexpr uint32_t kHeader = 0x80;
constexpr uint32_t kOptional = kHeader + 24;
constexpr uint32_t kEntry = 0x1010;
constexpr uint32_t kPadRva = 0x2000;
constexpr uint32_t kPadRaw = 0x1400;
constexpr uint32_t kPadSize = 0x30000;
constexpr uint32_t kExeSize = kPadRaw + kPadSize + 0x800;

uint32_t load32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t load16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
void store32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A PE32 file laid out like the sleeper: code, then the pad section, then
// read-only data; every byte outside the headers is non-zero.
std::vector<uint8_t> pe32Exe() {
  PeImage image;
  image.fileSize = kExeSize;
  image.entryPoint = kEntry;
  image.headerOffset = kHeader;
  image.sections = {PeSection{0x1000, 0x1000, 0x400, 0x1000},
                    PeSection{kPadRva, kPadSize, kPadRaw, kPadSize},
                    PeSection{kPadRva + kPadSize, 0x800, kPadRaw + kPadSize, 0x800}};
  std::vector<uint8_t> bytes = PeBuilder(image).bytes();
  for (size_t i = 0x400; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 251 + 1);
  std::memcpy(&bytes[kHeader + 248 + 40], ".pad\0\0\0\0", 8);
  store32(bytes, kHeader + 248 + 40 + 36, 0xC0000040);  // initialized data, read/write
  return bytes;
}

// The same file as PE32+: 240-byte optional header, 16 directories, the
// section table 16 bytes further on. `runtimeHeader` fills directory 14.
std::vector<uint8_t> pe32PlusExe(bool runtimeHeader = false) {
  std::vector<uint8_t> bytes = pe32Exe();
  bytes[kOptional] = 0x0B;
  bytes[kOptional + 1] = 0x02;
  bytes[kHeader + 20] = 240;
  store32(bytes, kOptional + 108, 16);
  std::memmove(&bytes[kHeader + 264], &bytes[kHeader + 248], 3 * 40);
  std::memset(&bytes[kHeader + 248], 0, 16);
  if (runtimeHeader) store32(bytes, kOptional + 112 + 14 * 8, 0x3000);
  return bytes;
}

SignatureRecord record(const char* name, int32_t first, int32_t second, int32_t fileSize) {
  uint8_t firstPattern[20], secondPattern[20];
  for (int i = 0; i < 20; ++i) {
    firstPattern[i] = static_cast<uint8_t>(0xA0 + i);
    secondPattern[i] = static_cast<uint8_t>(0x20 + 3 * i);
  }
  return signatureRecord(name, first, firstPattern, second, secondPattern, fileSize);
}

const char* const kPath = "C:\\run\\sleeper.exe";

}  // namespace

class RunnableSampleTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    g_session.memoryCheckMode = 1;  // detect, take no action
  }
  void TearDown() override {
    useSignatureTable(nullptr);
    ScanFixture::TearDown();
  }

  // The record the matcher reports for `bytes`, with `table` active (null:
  // the shipped one); empty when nothing matched.
  std::string detect(const std::vector<uint8_t>& bytes, const SignatureRecord* table) {
    useSignatureTable(table);
    writeFile(kPath, bytes);
    g_session.detectionName[0] = 0;
    return matchSignatureFile(kTrojanCheckName, kPath) ? g_session.detectionName : "";
  }
};

TEST_F(RunnableSampleTest, Pe32CarriesPatternsBehindAJumpToTheOriginalEntry) {
  const std::vector<uint8_t> exe = pe32Exe();
  const SignatureRecord table[] = {record("W32/Tarvolinex.Run.Trojan", -0x900, 0x2345, kExeSize + 777),
                                   record("", 0, 0, 0)};
  RunnableLayout layout;
  std::vector<uint8_t> out = makeRunnableSample(exe, table[0], &layout);
  ASSERT_EQ(out.size(), kExeSize + 777u);

  // The first pattern opens the pad section; the entry follows 0x900 bytes on.
  EXPECT_EQ(layout.entryPoint, kPadRva + 0x900);
  EXPECT_EQ(load32(out, kOptional + 16), layout.entryPoint);
  EXPECT_EQ(layout.originalEntry, kEntry);
  EXPECT_EQ(layout.entryPosition, kPadRaw + 0x900);
  EXPECT_EQ(layout.firstPosition, kPadRaw);
  EXPECT_EQ(layout.secondPosition, kPadRaw + 0x900 + 0x2345);
  EXPECT_EQ(0, std::memcmp(&out[kPadRaw], table[0].firstPattern, 20));
  EXPECT_EQ(0, std::memcmp(&out[layout.secondPosition], table[0].secondPattern, 20));

  // jmp rel32, measured from the end of the instruction.
  EXPECT_EQ(out[layout.entryPosition], 0xE9);
  EXPECT_EQ(layout.entryPoint + 5 + load32(out, layout.entryPosition + 1), kEntry);
  const uint32_t characteristics = load32(out, kHeader + 248 + 40 + 36);
  EXPECT_EQ(characteristics & 0x20000020u, 0x20000020u) << std::hex << characteristics;
  EXPECT_EQ(characteristics & 0xC0000040u, 0xC0000040u) << std::hex << characteristics;

  // The code, the other sections and the headers are left as they were.
  EXPECT_TRUE(std::equal(exe.begin() + 0x400, exe.begin() + kPadRaw, out.begin() + 0x400));
  EXPECT_TRUE(std::equal(exe.begin() + kPadRaw + kPadSize, exe.end(),
                         out.begin() + kPadRaw + kPadSize));
  EXPECT_EQ(load16(out, kHeader + 20), 224);
  for (size_t i = exe.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;

  EXPECT_EQ(detect(out, table), "W32/Tarvolinex.Run.Trojan");
  EXPECT_EQ(detect(exe, table), "");
}

TEST_F(RunnableSampleTest, Pe32PlusSectionTableMovesWhereTheMatcherReadsIt) {
  const std::vector<uint8_t> exe = pe32PlusExe();
  const SignatureRecord table[] = {record("W32/Tarvolinex.Run64.Trojan", 0x4000, -0x40, kExeSize),
                                   record("", 0, 0, 0)};
  RunnableLayout layout;
  std::vector<uint8_t> out = makeRunnableSample(exe, table[0], &layout);
  ASSERT_EQ(out.size(), kExeSize);
  EXPECT_EQ(load16(out, kHeader + 20), 224);
  EXPECT_EQ(load32(out, kOptional + 108), 14u);
  // Same headers at the new place (the pad's characteristics aside), and
  // nothing left of the old table's tail.
  std::vector<uint8_t> moved(out.begin() + kHeader + 248, out.begin() + kHeader + 248 + 120);
  store32(moved, 40 + 36, 0xC0000040);
  EXPECT_TRUE(std::equal(moved.begin(), moved.end(), exe.begin() + kHeader + 264));
  for (uint32_t i = kHeader + 248 + 120; i < kHeader + 264 + 120; ++i) EXPECT_EQ(out[i], 0) << i;
  // The entry stands 0x40 bytes into the section (already 16-byte aligned).
  EXPECT_EQ(layout.entryPoint, kPadRva + 0x40);
  EXPECT_EQ(layout.secondPosition, kPadRaw);
  EXPECT_EQ(layout.firstPosition, kPadRaw + 0x4040);
  EXPECT_EQ(detect(out, table), "W32/Tarvolinex.Run64.Trojan");
}

TEST_F(RunnableSampleTest, RecordsThatCannotFitGiveNothing) {
  struct Case {
    const char* what;
    std::vector<uint8_t> exe;
    SignatureRecord record;
  };
  const Case cases[] = {
      {"record smaller than the file", pe32Exe(), record("a", 0x100, 0x200, kExeSize - 1)},
      {"spread wider than the pad", pe32Exe(), record("b", -0x18000, 0x18000, kExeSize)},
      {"pattern over the jump", pe32Exe(), record("c", 8, 0x200, kExeSize)},
      {"patterns overlapping", pe32Exe(), record("d", 0x100, 0x10C, kExeSize)},
      {"PE32+ with a runtime header", pe32PlusExe(true), record("e", 0x100, 0x200, kExeSize)},
      {"no pad section", PeBuilder(PeImage{}).bytes(), record("f", 0x100, 0x200, 8192)},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(makeRunnableSample(c.exe, c.record).empty()) << c.what;
  }
  // The spread fits exactly: patterns at both ends of the section.
  RunnableLayout layout;
  const int32_t last = static_cast<int32_t>(kPadSize) - 20 - 0x20;
  ASSERT_FALSE(makeRunnableSample(pe32Exe(), record("g", -0x20, last, kExeSize), &layout).empty());
  EXPECT_EQ(layout.firstPosition, kPadRaw);
  EXPECT_EQ(layout.secondPosition, kPadRaw + kPadSize - 20);
}

TEST_F(RunnableSampleTest, TakesTheFirstShippedRecordThatFitsAndTheShippedTableDetectsIt) {
  const std::vector<uint8_t> exe = pe32Exe();
  std::vector<uint8_t> out;
  RunnableLayout layout;
  const int index = firstRunnableRecord(exe, signatureTable(), &out, &layout);
  ASSERT_GE(index, 0);
  for (int i = 0; i < index; ++i)
    ASSERT_TRUE(makeRunnableSample(exe, signatureTable()[i]).empty()) << i;
  SignatureRecord chosen;
  std::memcpy(&chosen, &signatureTable()[index], sizeof chosen);
  EXPECT_EQ(out.size(), static_cast<size_t>(chosen.fileSize));
  EXPECT_EQ(detect(out, nullptr), std::string(chosen.name));
  EXPECT_EQ(detect(exe, nullptr), "");
}
