// Removal at restart: the wininit.ini "[rename]" entry on the 9x family, the
// delayed deletion on the NT family, and the answer for other platforms.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/restart_removal.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

const char* const kIni = "C:\\WINDOWS\\wininit.ini";
const char* const kCopy = "C:\\WINDOWS\\TEMP\\wininit.ini";
const char* const kShort = "C:\\DIR\\INFECT~1.EXE";

}  // namespace

class RestartRemovalTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    makeFolder("C:\\WINDOWS\\TEMP");
    g_wininitRestoreFailed = false;
  }
  void TearDown() override {
    g_wininitRestoreFailed = false;
    ScanFixture::TearDown();
  }
};

// ---------------------------------------------------------------------------
// The "[rename]" entry.

namespace {
struct IniCase {
  const char* what;
  bool exists;
  std::string before;
  std::string after;
};
void PrintTo(const IniCase& c, std::ostream* os) { *os << c.what; }
}  // namespace

class WininitTest : public RestartRemovalTest, public ::testing::WithParamInterface<IniCase> {};

TEST_P(WininitTest, EntryEndsTheRenameSection) {
  const IniCase& c = GetParam();
  if (c.exists) writeText(kIni, c.before);
  EXPECT_TRUE(addWininitRename("NUL", kShort));
  EXPECT_EQ(readText(kIni), c.after);
  if (c.exists) {
    // The temporary copy of the old file is left behind.
    ASSERT_TRUE(exists(kCopy));
    EXPECT_EQ(readText(kCopy), c.before);
  }
  EXPECT_EQ(simMachine().openFiles, 0);
}

const std::string kEntry = std::string("NUL=") + kShort + "\r\n";
const std::string kLongLine = "NUL=" + std::string(643, 'a') + "[late]\r\n";  // "[" at 647

INSTANTIATE_TEST_SUITE_P(
    Wininit, WininitTest,
    ::testing::Values(
        IniCase{"no wininit.ini", false, "", "[rename]\r\n" + kEntry},
        IniCase{"empty wininit.ini", true, "", "[rename]\r\n" + kEntry},
        IniCase{"section followed by another section", true,
                "[rename]\r\nNUL=C:\\OLD.EXE\r\n[boot]\r\nshell=x\r\n",
                "[rename]\r\nNUL=C:\\OLD.EXE\r\n" + kEntry + "[boot]\r\nshell=x\r\n"},
        IniCase{"empty section followed by another section", true, "[rename]\r\n[boot]\r\n",
                "[rename]\r\n" + kEntry + "[boot]\r\n"},
        IniCase{"last section, header in other letter case", true,
                "[boot]\r\n[x]\r\n[ReNaMe]\r\nNUL=C:\\OLD.EXE\r\n",
                "[boot]\r\n[x]\r\n[ReNaMe]\r\nNUL=C:\\OLD.EXE\r\n" + kEntry},
        IniCase{"no section", true, "[boot]\r\nshell=x\r\n",
                "[boot]\r\nshell=x\r\n[rename]\r\n" + kEntry},
        IniCase{"last line without a line break, in the section", true,
                "[rename]\r\nNUL=C:\\OLD.EXE", "[rename]\r\nNUL=C:\\OLD.EXE\r\n" + kEntry},
        IniCase{"last line without a line break, no section", true, "[boot]\r\nshell=x",
                "[boot]\r\nshell=x\r\n[rename]\r\n" + kEntry},
        IniCase{"next header is the last line, without a line break", true,
                "[rename]\r\n[boot]", "[rename]\r\n" + kEntry + "[boot]"},
        IniCase{"line feeds alone are kept as they are", true, "[rename]\nA=B\n[boot]\n",
                "[rename]\nA=B\n" + kEntry + "[boot]\n"},
        IniCase{"a bracket deep inside a long line is not a header", true,
                "[rename]\r\n" + kLongLine, "[rename]\r\n" + kLongLine + kEntry}));

TEST_F(RestartRemovalTest, TwoEntriesStandInOrder) {
  for (const char* initial : {"", "[rename]\r\n[boot]\r\n"}) {
    SCOPED_TRACE(initial);
    if (*initial) writeText(kIni, initial);
    EXPECT_TRUE(addWininitRename("NUL", "C:\\FIRST.EXE"));
    EXPECT_TRUE(addWininitRename("NUL", "C:\\SECOND.EXE"));
    const std::string both = "[rename]\r\nNUL=C:\\FIRST.EXE\r\nNUL=C:\\SECOND.EXE\r\n";
    EXPECT_EQ(readText(kIni), *initial ? both + "[boot]\r\n" : both);
    std::remove(host(kIni).c_str());
  }
}

TEST_F(RestartRemovalTest, ShortWriteKeepsTheOriginalContent) {
  const std::string before = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n[386enh]\r\n";
  // Budgets that run out in the copied lines, in the entry and in the tail.
  for (long budget : {0L, 5L, 30L, 50L}) {
    SCOPED_TRACE(budget);
    writeText(kIni, before);
    simMachine().writeBudget = budget;
    EXPECT_FALSE(addWininitRename("NUL", kShort));
    simMachine().writeBudget = -1;
    EXPECT_EQ(readText(kIni), before);
    EXPECT_EQ(readText(kCopy), before);
    EXPECT_EQ(simMachine().openFiles, 0);
  }
}

TEST_F(RestartRemovalTest, FailedRestoreNamesTheCopyAndKeepsIt) {
  const std::string before = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n";
  writeText(kIni, before);
  simMachine().writeBudget = 12;
  simMachine().failCopies.insert(simPathKey(kIni));  // the copy cannot be put back
  EXPECT_FALSE(addWininitRename("NUL", kShort));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "C:\\WINDOWS\\wininit.ini could not be restored after a failed write: "
                       "its earlier content is kept in C:\\WINDOWS\\TEMP\\wininit.ini"}));
  EXPECT_EQ(readText(kCopy), before);

  // A later file of the same scan must not copy the broken file over it.
  simMachine().writeBudget = -1;
  simMachine().failCopies.clear();
  EXPECT_FALSE(addWininitRename("NUL", "C:\\LATER.EXE"));
  EXPECT_EQ(readText(kCopy), before);
  EXPECT_EQ(simMachine().openFiles, 0);
}

TEST_F(RestartRemovalTest, ShortWriteWhileCreatingFails) {
  simMachine().writeBudget = 4;
  EXPECT_FALSE(addWininitRename("NUL", kShort));
  EXPECT_EQ(simMachine().openFiles, 0);
}

TEST_F(RestartRemovalTest, UnreadableCopyFailsAndLeavesTheFile) {
  writeText(kIni, "[boot]\r\n");
  simMachine().failCopies.insert(simPathKey(kCopy));
  EXPECT_FALSE(addWininitRename("NUL", kShort));
  EXPECT_EQ(readText(kIni), "[boot]\r\n");
}

// ---------------------------------------------------------------------------
// Scheduling by family.

namespace {
struct ScheduleCase {
  const char* what;
  bool versionFails;
  uint32_t platformId;
  bool delayedMoveRefused;
  int result;
  bool delayed;  // a delayed deletion was asked for
  bool wininit;  // a wininit.ini entry was written
};
void PrintTo(const ScheduleCase& c, std::ostream* os) { *os << c.what; }
}  // namespace

class ScheduleRemovalTest : public RestartRemovalTest, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(ScheduleRemovalTest, UsesTheFamilysMechanism) {
  const ScheduleCase& c = GetParam();
  const char* path = "C:\\dir\\infected file.exe";
  writeText(path, "MZ");
  simMachine().versionFails = c.versionFails;
  simMachine().platformId = c.platformId;
  simMachine().majorVersion = c.platformId == 1 ? 4 : 5;
  simMachine().shortPaths[simPathKey(path)] = kShort;
  if (c.delayedMoveRefused) simMachine().failDelayedMoves.insert(simPathKey(path));

  EXPECT_EQ(scheduleRemovalAtRestart(path), c.result);
  EXPECT_EQ(simMachine().delayedDeletes,
            c.delayed && !c.delayedMoveRefused ? std::vector<std::string>{path}
                                               : std::vector<std::string>{});
  EXPECT_EQ(exists(kIni), c.wininit);
  if (c.wininit) {
    EXPECT_EQ(readText(kIni), "[rename]\r\n" + kEntry);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Families, ScheduleRemovalTest,
    ::testing::Values(ScheduleCase{"NT family", false, 2, false, 1, true, false},
                      ScheduleCase{"NT family, delayed move refused", false, 2, true, 1, true,
                                   false},
                      ScheduleCase{"9x family", false, 1, false, 1, false, true},
                      ScheduleCase{"another platform", false, 0, false, 0, false, false},
                      ScheduleCase{"another platform id", false, 3, false, 0, false, false},
                      ScheduleCase{"version unknown", true, 2, false, 0, false, false}));

TEST_F(RestartRemovalTest, Windows9xFailureAnswersZero) {
  simMachine().platformId = 1;
  simMachine().majorVersion = 4;
  const char* path = "C:\\dir\\infected.exe";
  writeText(path, "MZ");
  simMachine().windowsDirectory = "C:\\NOWHERE";  // wininit.ini cannot be created
  EXPECT_EQ(scheduleRemovalAtRestart(path), 0);
}
