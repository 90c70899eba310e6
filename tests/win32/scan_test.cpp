// Folder scans over the real file system of the Wine prefix: what each action
// does to a sample on disk, and the lines and statistics that report it.
#include <windows.h>

#include "engine/session.h"
#include "tests/win32/support/wine_fixture.h"
#include "tests/support/expected_report.h"

class FolderScan : public WineScanFixture {};

TEST_F(FolderScan, DeletesTheInfectedSampleAndKeepsTheCleanOnes) {
  writeInfected("bej.exe");
  writeClean("clean.exe", 7);
  makeFolder("sub");
  writeClean("sub\\other.exe", 11);
  scan(kActionDelete);

  EXPECT_FALSE(exists("bej.exe"));
  EXPECT_TRUE(exists("clean.exe"));
  EXPECT_TRUE(exists("sub\\other.exe"));
  std::vector<std::string> expected = {path("bej.exe") + "     " + detectionName() + " removed"};
  for (const std::string& line : statisticsBlock(3, 1, 1)) expected.push_back(line);
  EXPECT_EQ(lines, expected);
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), "Scanning completed");
  EXPECT_TRUE(questions.empty()) << "no restart is offered after a plain deletion";
  EXPECT_TRUE(messageBoxes.empty());
}

TEST_F(FolderScan, FindsSamplesInSubfoldersAndHiddenReadOnlyFiles) {
  makeFolder("deep");
  makeFolder("deep\\er");
  writeInfected("deep\\er\\hidden.exe");
  ASSERT_TRUE(SetFileAttributesA(path("deep\\er\\hidden.exe").c_str(),
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                     FILE_ATTRIBUTE_SYSTEM));
  scan(kActionDelete);

  EXPECT_FALSE(exists("deep\\er\\hidden.exe")) << "its attributes are reset before the delete";
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], path("deep\\er\\hidden.exe") + "     " + detectionName() + " removed");
  EXPECT_EQ(g_session.filesRemoved, 1);
}

TEST_F(FolderScan, RenameReplacesTheCharacterAfterTheLastDot) {
  writeInfected("setup.exe");
  scan(kActionRename);

  EXPECT_FALSE(exists("setup.exe"));
  EXPECT_TRUE(exists("setup.Vxe"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], path("setup.exe") + "     " + detectionName() + " renamed");
  EXPECT_EQ(g_session.filesRenamed, 1);
  // Renamed files have no line of their own in the statistics.
  std::vector<std::string> tail(lines.begin() + 1, lines.end());
  EXPECT_EQ(tail, statisticsBlock(1, 1, 0));
}

TEST_F(FolderScan, RenameFailsWhenTheNewNameIsTaken) {
  writeInfected("setup.exe");
  writeClean("setup.Vxe");
  scan(kActionRename);

  EXPECT_TRUE(exists("setup.exe"));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], path("setup.exe") + "     " + detectionName() + " Rename failed");
  EXPECT_EQ(g_session.filesRenamed, 0);
}

TEST_F(FolderScan, ReportLeavesTheFileInPlace) {
  writeInfected("keep.exe");
  writeClean("clean.exe");
  scan(kActionReport);

  EXPECT_TRUE(exists("keep.exe"));
  std::vector<std::string> expected = {path("keep.exe") + "     " + detectionName() +
                                       " not disinfected as per user's selection"};
  for (const std::string& line : statisticsBlock(2, 1, 0)) expected.push_back(line);
  EXPECT_EQ(lines, expected);
}

TEST_F(FolderScan, CleanFolderHasNoBlankLineBeforeTheStatistics) {
  writeClean("a.exe", 1);
  writeClean("b.dll", 2);
  writeWholeFile(path("notes.txt"), "nothing to see\r\n");
  scan(kActionDelete);

  EXPECT_EQ(lines, statisticsBlock(3, 0, 0));
  EXPECT_EQ(statuses.back(), "Scanning completed");
}

TEST_F(FolderScan, MissingFolderStillEndsWithTheStatistics) {
  scan(kActionDelete, path("does-not-exist"));
  EXPECT_EQ(lines, statisticsBlock(0, 0, 0));
  EXPECT_EQ(statuses.back(), "Scanning completed");
}

// Deleting an infected file also removes the uninstall entry and the start-up
// value the trojan leaves in the machine's registry.
TEST_F(FolderScan, DeletionCleansTheUninstallEntry) {
  const char* uninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";
  const char* runKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  const char uninstallString[] = "C:\\Program Files\\rhcjg7j0e38v\\uninstall.exe";
  const char startup[] = "C:\\windows\\rhcjg7j0e38v.exe";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(uninstallString), sizeof uninstallString);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, runKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "SMrhcjg7j0e38v", 0, REG_SZ, reinterpret_cast<const BYTE*>(startup),
                 sizeof startup);
  RegCloseKey(key);

  writeInfected("bej.exe");
  scan(kActionDelete);

  EXPECT_FALSE(exists("bej.exe"));
  auto valueExists = [](const char* keyPath, const char* name) {
    HKEY opened;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &opened) != ERROR_SUCCESS)
      return false;
    bool found = RegQueryValueExA(opened, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return found;
  };
  EXPECT_FALSE(valueExists(uninstallKey, "UninstallString"));
  EXPECT_FALSE(valueExists(runKey, "SMrhcjg7j0e38v"));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, uninstallKey);
}
