// Actions on an infected file: deletion with its escalation (attributes,
// termination, removal at restart), renaming, leaving in place, and the one
// report line each outcome sends.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/actions.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

const char* const kPath = "C:\\dir\\infected.exe";
const char* const kName = "W32/Tarvolinex.Bej.Ransom.Trojan";
const std::string kUninstallKey =
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\RHCJG7J0E38V";
const std::string kRunKey = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";

void setValue(const std::string& key, const std::string& name, const std::string& text) {
  SimRegistryValue value;
  value.name = name;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  simMachine().registry[key].values.push_back(value);
}

// The trojan's uninstall command and start-up value, as it installs them.
void installTrojanEntries() {
  setValue(kUninstallKey, "UninstallString", "C:\\Program Files\\rhc\\uninstall.exe");
  setValue(kRunKey, "SMrhcjg7j0e38v", "C:\\WINDOWS\\rhcjg7j0e38v.exe");
}

bool trojanEntriesRemain() {
  return !simMachine().registry[kUninstallKey].values.empty() ||
         !simMachine().registry[kRunKey].values.empty();
}

std::string line(const std::string& path, const std::string& name, const std::string& words) {
  return path + "     " + name + " " + words;
}

}  // namespace

class ActionsTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    g_session.memoryCheckMode = 0;
    g_session.actionCode = kActionDelete;
    writeText(kPath, "MZ infected");
    // What the matcher leaves just before acting.
    std::strcpy(g_session.statusText, kPath);
    std::strcpy(g_session.detectionName, kName);
  }

  void useWindows9x() {
    simMachine().platformId = 1;
    simMachine().majorVersion = 4;
    makeFolder("C:\\WINDOWS\\TEMP");
  }
  void useWindowsNt() {
    simMachine().platformId = 2;
    simMachine().majorVersion = 5;
  }
};

// ---------------------------------------------------------------------------
// Deletion.

namespace {
struct DeleteCase {
  const char* what;
  int actionCode;
  int deleteFailures;  // injected failures of deleteFile; -1 forever
  bool removed;
};
void PrintTo(const DeleteCase& c, std::ostream* os) { *os << c.what; }
}  // namespace


class ActionDeleteTest : public ActionsTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(ActionDeleteTest, DeletesOrReportsUnableToRemove) {
  const DeleteCase& c = GetParam();
  g_session.actionCode = c.actionCode;
  installTrojanEntries();
  if (c.deleteFailures) simMachine().failDeletes[simPathKey(kPath)] = c.deleteFailures;

  actOnInfectedFile(kPath, kName);

  ASSERT_EQ(lines.size(), 1u) << c.what;
  EXPECT_EQ(lines[0], line(kPath, kName, c.removed ? "removed" : "Unable to remove")) << c.what;
  EXPECT_EQ(exists(kPath), !c.removed) << c.what;
  EXPECT_EQ(g_session.filesRemoved, c.removed ? 1 : 0) << c.what;
  // The uninstall entry is cleaned after every deletion, and only then.
  EXPECT_EQ(trojanEntriesRemain(), !c.removed) << c.what;
  EXPECT_EQ(simMachine().openKeys, 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Delete, ActionDeleteTest,
    ::testing::Values(DeleteCase{"first try", kActionDelete, 0, true},
                      DeleteCase{"code 102 deletes as 100", kActionDeleteToo, 0, true},
                      // Another platform: termination answers success, the second try works.
                      DeleteCase{"after terminating its processes", kActionDelete, 1, true},
                      DeleteCase{"fails even after termination", kActionDelete, -1, false}));

TEST_F(ActionsTest, RunningFileIsDeletedAfterItsProcessIsTerminated) {
  struct Family {
    const char* what;
    uint32_t platformId, majorVersion;
  };
  for (const Family& family : {Family{"9x family, by file name", 1, 4},
                               Family{"NT 5, by full path", 2, 5}}) {
    SCOPED_TRACE(family.what);
    lines.clear();
    g_session.filesRemoved = 0;
    writeText(kPath, "MZ infected");
    simMachine().platformId = family.platformId;
    simMachine().majorVersion = family.majorVersion;
    simMachine().terminated.clear();
    simMachine().processes.clear();
    simRunProcess(42, kPath);

    actOnInfectedFile(kPath, kName);

    EXPECT_EQ(simMachine().terminated, std::vector<uint32_t>{42});
    EXPECT_FALSE(exists(kPath));
    EXPECT_EQ(lines, std::vector<std::string>{line(kPath, kName, "removed")});
    EXPECT_EQ(g_session.filesRemoved, 1);
    EXPECT_EQ(g_session.restartNeeded, 0);
  }
}

TEST_F(ActionsTest, ReadOnlyHiddenFileIsDeleted) {
  ASSERT_EQ(chmod(host(kPath).c_str(), 0444), 0);
  actOnInfectedFile(kPath, kName);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line(kPath, kName, "removed"));
  EXPECT_FALSE(exists(kPath));
}

TEST_F(ActionsTest, AttributesThatCannotBeSetStopEverything) {
  useWindowsNt();
  simMachine().failSetAttributes.insert(simPathKey(kPath));
  // The line names what statusText and detectionName hold, not the arguments.
  std::strcpy(g_session.statusText, "C:\\dir\\infec...");
  std::strcpy(g_session.detectionName, "W32/Tarvolinex.Other.Trojan");
  g_session.restartNeeded = 7;

  actOnInfectedFile(kPath, kName);

  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "C:\\dir\\infec...     W32/Tarvolinex.Other.Trojan Unable to remove");
  EXPECT_TRUE(exists(kPath));
  EXPECT_EQ(g_session.filesRemoved, 0);
  EXPECT_EQ(g_session.restartNeeded, 7);
  EXPECT_TRUE(simMachine().delayedDeletes.empty());
}

TEST_F(ActionsTest, UndeletableFileOnNtIsScheduledForDeletionAtRestart) {
  useWindowsNt();
  simMachine().failDeletes[simPathKey(kPath)] = -1;
  actOnInfectedFile(kPath, kName);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line(kPath, kName, "Unable to remove"));
  EXPECT_EQ(g_session.restartNeeded, 1);
  EXPECT_EQ(simMachine().delayedDeletes, std::vector<std::string>{kPath});
  EXPECT_EQ(g_session.filesRemoved, 0);
}

TEST_F(ActionsTest, UndeletableFileOn9xGetsAWininitEntry) {
  useWindows9x();
  simMachine().failDeletes[simPathKey(kPath)] = -1;
  simMachine().shortPaths[simPathKey(kPath)] = "C:\\DIR\\INFECT~1.EXE";
  actOnInfectedFile(kPath, kName);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line(kPath, kName, "Unable to remove"));
  EXPECT_EQ(g_session.restartNeeded, 1);
  EXPECT_EQ(readText("C:\\WINDOWS\\wininit.ini"), "[rename]\r\nNUL=C:\\DIR\\INFECT~1.EXE\r\n");
}

TEST_F(ActionsTest, LaterFileWhoseSchedulingFailsClearsRestartNeeded) {
  useWindows9x();
  const char* second = "C:\\dir\\second.exe";
  writeText(second, "MZ");
  simMachine().failDeletes[simPathKey(kPath)] = -1;
  simMachine().failDeletes[simPathKey(second)] = -1;

  actOnInfectedFile(kPath, kName);
  EXPECT_EQ(g_session.restartNeeded, 1);

  // wininit.ini now exists; its temporary copy cannot be made.
  simMachine().failCopies.insert(simPathKey("C:\\WINDOWS\\TEMP\\wininit.ini"));
  actOnInfectedFile(second, kName);
  EXPECT_EQ(g_session.restartNeeded, 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], line(second, kName, "Unable to remove"));
}

// ---------------------------------------------------------------------------
// Renaming.

namespace {
struct RenameCase {
  const char* path;
  const char* renamed;  // what makeRenamedPath gives
  const char* words;    // the line's action words
  const char* existsAfter;
};
void PrintTo(const RenameCase& c, std::ostream* os) { *os << c.path; }
}  // namespace

class ActionRenameTest : public ActionsTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(ActionRenameTest, ReplacesTheCharacterAfterTheLastDot) {
  const RenameCase& c = GetParam();
  writeText(c.path, "MZ");
  g_session.actionCode = kActionRename;

  char renamed[260];
  makeRenamedPath(c.path, renamed);
  EXPECT_STREQ(renamed, c.renamed);

  actOnInfectedFile(c.path, kName);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line(c.path, kName, c.words));
  EXPECT_EQ(g_session.filesRenamed, std::string(c.words) == "renamed" ? 1 : 0);
  EXPECT_TRUE(exists(c.existsAfter));
  EXPECT_EQ(g_session.filesRemoved, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rename, ActionRenameTest,
    ::testing::Values(
        RenameCase{"C:\\dir\\setup.exe", "C:\\dir\\setup.Vxe", "renamed", "C:\\dir\\setup.Vxe"},
        RenameCase{"C:\\dir\\a.b.scr", "C:\\dir\\a.b.Vcr", "renamed", "C:\\dir\\a.b.Vcr"},
        RenameCase{"C:\\dir\\trailing.", "C:\\dir\\trailing.V", "renamed", "C:\\dir\\trailing.V"},
        // The last dot is in a folder name: the new name points into a folder
        // that does not exist, so the move fails.
        RenameCase{"C:\\my.dir\\payload", "C:\\my.Vir\\payload", "Rename failed",
                   "C:\\my.dir\\payload"},
        // No dot anywhere: the move names the same file twice.
        RenameCase{"C:\\dir\\payload", "C:\\dir\\payload", "renamed", "C:\\dir\\payload"}));

TEST_F(ActionsTest, FailedMoveReportsRenameFailed) {
  g_session.actionCode = kActionRename;
  simMachine().failMoves.insert(simPathKey(kPath));
  actOnInfectedFile(kPath, kName);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line(kPath, kName, "Rename failed"));
  EXPECT_EQ(g_session.filesRenamed, 0);
  EXPECT_TRUE(exists(kPath));
}

// ---------------------------------------------------------------------------
// Leaving in place and unknown codes.

TEST_F(ActionsTest, ReportCodeLeavesTheFileAndNamesStatusAndDetection) {
  g_session.actionCode = kActionReport;
  std::strcpy(g_session.statusText, "C:\\...\\infected.exe");
  std::strcpy(g_session.detectionName, "W32/Tarvolinex.Mem.Trojan");
  actOnInfectedFile(kPath, kName);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "C:\\...\\infected.exe     W32/Tarvolinex.Mem.Trojan not disinfected as per user's "
            "selection");
  EXPECT_TRUE(exists(kPath));
  EXPECT_EQ(g_session.filesRemoved + g_session.filesRenamed, 0);
}

TEST_F(ActionsTest, UnknownCodesDoNothing) {
  for (int code : {0, 99, 104, -100}) {
    SCOPED_TRACE(code);
    g_session.actionCode = code;
    actOnInfectedFile(kPath, kName);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(exists(kPath));
  }
  EXPECT_EQ(g_session.filesRemoved + g_session.filesRenamed, 0);
}

TEST_F(ActionsTest, LongestLineFitsUntruncated) {
  // A 259-character path, a 49-character name and the longest action words.
  std::string path = "C:\\";
  while (path.size() < 259) path += 'p';
  std::string name = "W32/Tarvolinex.";
  while (name.size() < 49) name += 'x';
  ASSERT_EQ(path.size(), 259u);
  ASSERT_EQ(name.size(), 49u);
  std::strcpy(g_session.statusText, path.c_str());
  std::strcpy(g_session.detectionName, name.c_str());
  g_session.actionCode = kActionReport;
  actOnInfectedFile(path.c_str(), name.c_str());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line(path, name, "not disinfected as per user's selection"));
}
