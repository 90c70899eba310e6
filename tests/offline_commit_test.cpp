// How cleaning writes an offline installation's hives: the registry changes
// of one infected file together, once per hive, reported only once on disk;
// the run's own files left out of the scan; a value longer than one cell of
// the hive's format never rewritten.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "samples/byte_fields.h"
#include "tests/support/offline_fixture.h"

namespace {

const char* const kEvil = "C:\\Evil\\evil.exe";

// The hive's format as Windows XP and later write it (1.5), its header
// checksum kept right.
void makeFormatFive(const std::string& path) {
  std::vector<uint8_t> hive = fileBytes(path);
  put32(hive, 0x18, 5);
  sealHiveHeader(hive);
  writeBytes(path, hive);
}

// Source and target pairs filling `bytes` of UTF-16 or a little more.
std::vector<std::string> pendingPairs(size_t bytes) {
  std::vector<std::string> strings;
  for (size_t total = 0, i = 0; total < bytes; ++i) {
    strings.push_back("\\??\\C:\\old\\file" + std::to_string(i) + ".tmp");
    strings.push_back(std::string());
    total += (strings[strings.size() - 2].size() + 2) * 2;
  }
  return strings;
}

}  // namespace

class OfflineCommit : public OfflineFixture {
 protected:
  // SOFTWARE about 250 KB, SYSTEM a few pages: the new SYSTEM hive fits
  // where half the SOFTWARE does.
  void plantLargerSoftware() {
    ASSERT_TRUE(plantInstallation(root_ + "/Windows", 200, 0));
  }
  // A new scan of the same disk, as a new run of the tool starts it.
  void scanAgain(int action) {
    resetScanSession();
    std::strcpy(g_session.scanTarget, "!:");
    g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
    g_session.actionCode = action;
    lines.clear();
    runScan();
  }
  int scannedCount() const {
    for (const std::string& line : lines)
      if (line.rfind("Total files scanned\t\t:  ", 0) == 0) return std::stoi(line.substr(23));
    return -1;
  }
};

TEST_F(OfflineCommit, ChangesOfOneFileAreWrittenOncePerHive) {
  plantLargerSoftware();
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRun, "Evil", kEvil);
    software.setString(kRunServices, "EvilSvc", kEvil);
    software.setString(kUninstall, "UninstallString", "C:\\Program Files\\rh\\uninstall.exe");
    software.setString(kRun, "SMrhcjg7j0e38v", "C:\\Program Files\\rh\\rhcjg7j0e38v.exe");
    ASSERT_TRUE(software.commit());
  }
  const std::string original = bytesOf(config("SOFTWARE"));
  plantInfected(kEvil);
  const uint64_t before = bytesWrittenByThisProcess();
  runScan();
  const uint64_t written = bytesWrittenByThisProcess() - before;

  EXPECT_EQ(count(kRemoved), 2);
  std::map<std::string, std::string> run, uninstall;
  ASSERT_TRUE(hivexValues(config("SOFTWARE"), kRun, &run));
  ASSERT_TRUE(hivexValues(config("SOFTWARE"), kUninstall, &uninstall));
  EXPECT_TRUE(run.empty());
  EXPECT_TRUE(uninstall.empty());
  // Four values removed, one hive written: its new content and no copy of
  // the original (the backup is the original file under a second name).
  EXPECT_LT(written, 2 * original.size());
  EXPECT_EQ(bytesOf(backupOf("SOFTWARE")), original);
}

TEST_F(OfflineCommit, FailedWriteReportsEachChangeOfThatHiveAsNotMade) {
  plantLargerSoftware();
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRun, "Evil", kEvil);
    software.setString(kRunServices, "EvilSvc", kEvil);
    ASSERT_TRUE(software.commit());
    HiveBuilder system(config("SYSTEM"), false);
    system.setString("ControlSet001\\Services\\EvilSvc", "ImagePath", kEvil);
    ASSERT_TRUE(system.commit());
  }
  const std::string software = bytesOf(config("SOFTWARE"));
  plantInfected(kEvil);
  // Room for the new SYSTEM hive, not for the new SOFTWARE one.
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(fillFolderAfter(config(""), software.size() / 2));
  runScan();

  EXPECT_EQ(count("C:\\Windows\\System32\\config\\SOFTWARE     registry hive left unchanged: the "
                  "new hive could not be written: No space left on device"), 1);
  EXPECT_FALSE(reported(kRemoved));
  EXPECT_EQ(count("System Registry     W32/Tarvolinex.Trojan not removed: "
                  "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil"), 1);
  EXPECT_EQ(count("System Registry     W32/Tarvolinex.Trojan not removed: "
                  "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices\\EvilSvc"), 1);
  EXPECT_EQ(bytesOf(config("SOFTWARE")), software);
  EXPECT_FALSE(exists("C:\\Windows\\System32\\config\\SOFTWARE.drenvalisk-new"));
  // The other hive's change of the same file is on disk and says so.
  EXPECT_TRUE(reported("System Registry     W32/Tarvolinex.Bej.Ransom.Trojan removed: "
                       "HKLM\\SYSTEM\\ControlSet001\\Services\\EvilSvc"));
  EXPECT_FALSE(hivexHasKey(config("SYSTEM"), "ControlSet001\\Services\\EvilSvc"));
  EXPECT_FALSE(exists(kEvil));
}

TEST_F(OfflineCommit, OwnFilesAreNotScannedThoseOfEarlierRunsAre) {
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  plantInfected(kEvil);
  scanAgain(kActionReport);
  const int reportCount = scannedCount();
  // The file is found before the walk reaches the hives' folder, where its
  // cleaning has left a backup by then.
  scanAgain(kActionDelete);
  ASSERT_TRUE(reported(kRemoved));
  ASSERT_FALSE(backupOf("SOFTWARE").empty());
  EXPECT_EQ(scannedCount(), reportCount) << "the same disk, the same count in both modes";

  // A later run on the same disk: the backup is a file like any other, the
  // infected file is gone.
  hostMapDrive('C', root_);
  scanAgain(kActionReport);
  EXPECT_EQ(scannedCount(), reportCount);
}

TEST_F(OfflineCommit, RemovalIsNotScheduledInAValueTooLongForOneCell) {
  const std::vector<std::string> pending = pendingPairs(16400);
  {
    HiveBuilder system(config("SYSTEM"), false);
    system.setMultiString(kSessionManager, "PendingFileRenameOperations", pending);
    ASSERT_TRUE(system.commit());
  }
  makeFormatFive(config("SYSTEM"));
  const std::string original = bytesOf(config("SYSTEM"));
  plantInfected("C:\\Windows\\System32\\locked.exe");
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(pinFile(host("C:\\Windows\\System32\\locked.exe")));
  runScan();

  EXPECT_TRUE(reported("C:\\Windows\\System32\\locked.exe     W32/Tarvolinex.Bej.Ransom.Trojan Unable to remove"));
  EXPECT_TRUE(reportedStarting("C:\\Windows\\System32\\config\\SYSTEM     " + std::string(kSessionManager) +
                               " not rewritten: its value PendingFileRenameOperations would hold "))
      << ::testing::PrintToString(lines);
  EXPECT_TRUE(reported("C:\\Windows\\System32\\locked.exe     could not be scheduled for removal at the "
                       "next start of the Windows on this disk"));
  EXPECT_FALSE(reportedStarting("C:\\Windows\\System32\\locked.exe     will be removed"));
  EXPECT_EQ(bytesOf(config("SYSTEM")), original);
}

TEST_F(OfflineCommit, OlderFormatKeepsALongValueInOneCellAndSchedulesIntoIt) {
  std::vector<std::string> pending = pendingPairs(16400);
  {
    HiveBuilder system(config("SYSTEM"), false);
    system.setMultiString(kSessionManager, "PendingFileRenameOperations", pending);
    ASSERT_TRUE(system.commit());
  }
  plantInfected("C:\\Windows\\System32\\locked.exe");
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(pinFile(host("C:\\Windows\\System32\\locked.exe")));
  runScan();

  EXPECT_TRUE(reported("C:\\Windows\\System32\\locked.exe     will be removed when the Windows on "
                       "this disk next starts"));
  pending.push_back("\\??\\C:\\Windows\\System32\\locked.exe");
  pending.push_back(std::string());
  std::string expected;
  for (const std::string& item : pending) expected.append(item).push_back('\0');
  expected.push_back('\0');
  std::map<std::string, std::string> manager;
  ASSERT_TRUE(hivexValues(config("SYSTEM"), kSessionManager, &manager));
  EXPECT_EQ(manager["PendingFileRenameOperations"], expected);
  const std::string exported = exportedKey(regfexport(config("SYSTEM")), kSessionManager);
  const std::string utf16 = exportedData(exported, "PendingFileRenameOperations");
  EXPECT_EQ(utf16.size(), expected.size() * 2);
}
