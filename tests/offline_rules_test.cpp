// Rules of the offline cleaning that no other test guards: each case here
// fails when its rule is broken.
#include <map>
#include <string>
#include <vector>

#include "samples/byte_fields.h"
#include "tests/support/offline_fixture.h"

namespace {

// Leaves the hive as Windows leaves it when it hibernates: its two sequence
// numbers differ; the header checksum stays right.
void makeDirty(const std::string& path) {
  std::vector<uint8_t> hive = fileBytes(path);
  put32(hive, 0x04, get32(hive, 0x08) + 1);
  sealHiveHeader(hive);
  writeBytes(path, hive);
}

}  // namespace

class OfflineRules : public OfflineFixture {};

TEST_F(OfflineRules, DirtyHiveIsNeverWrittenAndTheValueStays) {
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  makeDirty(config("SOFTWARE"));
  const std::string before = bytesOf(config("SOFTWARE"));
  plantInfected("C:\\Evil\\evil.exe");
  runScan();

  EXPECT_EQ(count("C:\\Windows\\System32\\config\\SOFTWARE     registry hive left unchanged: "
                  "Windows did not close it cleanly (hibernated, or Fast Startup), so its log "
                  "files may hold newer changes; start and shut down that Windows first"), 1);
  EXPECT_FALSE(reported(kRemoved));
  EXPECT_EQ(bytesOf(config("SOFTWARE")), before);
  EXPECT_TRUE(backupOf("SOFTWARE").empty());
  EXPECT_FALSE(exists("C:\\Evil\\evil.exe")) << "the file scan goes on";
}

TEST_F(OfflineRules, ValueNamesInAnotherLetterCaseAreRemoved) {
  ASSERT_TRUE(plantUninstallEntry(config("SOFTWARE"), "UNINSTALLSTRING", "smRHCJG7J0E38V"));
  plantInfected("C:\\Users\\me\\bej.exe");
  runScan();

  expectUninstallEntryCleaned();
}

TEST_F(OfflineRules, RemovalIsScheduledInTheControlSetWindowsStartsWith) {
  {
    HiveBuilder system(config("SYSTEM"), false);
    system.setDword("Select", "Current", 1);
    system.setDword("Select", "Default", 2);
    ASSERT_TRUE(system.commit());
  }
  plantInfected("C:\\Windows\\System32\\locked.exe");
  // The file is in use: it cannot be deleted now.
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(pinFile(host("C:\\Windows\\System32\\locked.exe")));
  runScan();

  EXPECT_TRUE(reported("C:\\Windows\\System32\\locked.exe     will be removed when the Windows on "
                       "this disk next starts"));
  std::map<std::string, std::string> chosen, other;
  ASSERT_TRUE(hivexValues(config("SYSTEM"), "ControlSet002\\Control\\Session Manager", &chosen));
  ASSERT_TRUE(hivexValues(config("SYSTEM"), "ControlSet001\\Control\\Session Manager", &other));
  const char pending[] = "\\??\\C:\\Windows\\System32\\locked.exe\0\0\0";
  EXPECT_EQ(chosen["PendingFileRenameOperations"], std::string(pending, sizeof pending - 1));
  EXPECT_EQ(other.count("PendingFileRenameOperations"), 0u);
}
