// Offline repair of a Windows installation on a disk mounted by a rescue
// system: its registry hives cleaned through the ordinary scan, written safely,
// and every hive written read back by libhivex and by an independent reader
// (regfexport).
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/session.h"
#include "memory/version.h"
#include "platform/files.h"
#include "platform/offline/hive_registry.h"
#include "platform/offline/hive_text.h"
#include "platform/registry.h"
#include "repair/service_keys.h"
#include "samples/hive_builder.h"
#include "samples/pe_builder.h"
#include "tests/support/child_process.h"
#include "tests/support/offline_fixture.h"
#include "tests/support/private_mounts.h"
#include "tests/support/scan_fixture.h"

namespace fs = std::filesystem;

class OfflineRegistry : public OfflineFixture {};

TEST_F(OfflineRegistry, StartupValuesByFullPathBareNameAndEnvironmentReferenceAreRemoved) {
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRun, "Keep", "C:\\Program Files\\Good\\good.exe");
    software.setString(kRun, "Evil", "\"C:\\Program Files\\Evil\\evil.exe\" -silent");
    software.setString(kRun, "Sys", "sys.exe");
    software.setString(kRun, "Env", "%SystemRoot%\\System32\\env.exe", kHiveExpandSz);
    // Not a string Windows would start: left in place although it names a file.
    std::string path = "C:\\Program Files\\Evil\\evil.exe";
    software.setRaw(kRun, "Bin", kHiveBinary, std::vector<uint8_t>(path.begin(), path.end() + 1));
    // Stored without its terminator, which Windows runs all the same.
    software.setString(kRun, "Raw", path, kHiveSz, false);
    ASSERT_TRUE(software.commit());
  }
  plantInfected("C:\\Program Files\\Evil\\evil.exe");
  plantInfected("C:\\Windows\\System32\\sys.exe");
  plantInfected("C:\\Windows\\System32\\env.exe");
  runScan();

  EXPECT_EQ(count(kRemoved), 4);
  EXPECT_TRUE(reported("C:\\Windows\\System32\\env.exe     W32/Tarvolinex.Bej.Ransom.Trojan removed"));
  EXPECT_TRUE(questions.empty());
  std::map<std::string, std::string> run;
  ASSERT_TRUE(hivexValues(config("SOFTWARE"), kRun, &run));
  EXPECT_EQ(namesOf(run), (std::vector<std::string>{"Bin", "Keep"}));
  EXPECT_EQ(run["Keep"], "C:\\Program Files\\Good\\good.exe");
  const std::string exported = exportedKey(regfexport(config("SOFTWARE")), kRun);
  EXPECT_NE(exported.find("Value: 0 Keep\n"), std::string::npos) << exported;
  EXPECT_NE(exported.find("Value: 1 Bin\n"), std::string::npos) << exported;
  EXPECT_EQ(exported.find(" Raw\n"), std::string::npos) << exported;
  EXPECT_EQ(exported.find(" Evil\n"), std::string::npos) << exported;
  EXPECT_EQ(exported.find(" Sys\n"), std::string::npos) << exported;
  EXPECT_EQ(exported.find(" Env\n"), std::string::npos) << exported;
  EXPECT_EQ(exportedData(exported, "Keep"), "C:\\Program Files\\Good\\good.exe");

  // The original is kept beside the hive, once, under a name a user finds.
  const std::string backup = backupOf("SOFTWARE");
  ASSERT_FALSE(backup.empty());
  EXPECT_EQ(count("C:\\Windows\\System32\\config\\SOFTWARE     registry hive backed up as "
                  "C:\\Windows\\System32\\config\\" + fs::path(backup).filename().string()), 1);
  std::map<std::string, std::string> before;
  ASSERT_TRUE(hivexValues(backup, kRun, &before));
  EXPECT_EQ(before.size(), 6u);
  EXPECT_FALSE(exists("C:\\Windows\\System32\\config\\SOFTWARE.drenvalisk-new"));
}

TEST_F(OfflineRegistry, UninstallEntryAndItsStartupValueGoAfterADeletion) {
  ASSERT_TRUE(plantUninstallEntry(config("SOFTWARE"), "UninstallString", "SMrhcjg7j0e38v"));
  plantInfected("C:\\Users\\me\\bej.exe");
  runScan();

  expectUninstallEntryCleaned();
  const std::string exported = regfexport(config("SOFTWARE"));
  EXPECT_EQ(exportedKey(exported, kUninstall).find("UninstallString"), std::string::npos);
  EXPECT_EQ(exportedKey(exported, kRun).find("SMrhcjg7j0e38v"), std::string::npos);
}

TEST_F(OfflineRegistry, ServiceKeysGoFromBothControlSets) {
  {
    HiveBuilder system(config("SYSTEM"), false);
    for (const char* set : {"ControlSet001", "ControlSet002"}) {
      system.setString(std::string(set) + "\\Services\\evil\\Enum", "0", "Root\\LEGACY_EVIL\\0000");
      system.addKey(std::string(set) + "\\Services\\evil\\Security");
      system.setDword(std::string(set) + "\\Services\\evil", "Start", 2);
    }
    system.addKey("ControlSet001\\Services\\kept\\Enum");
    system.addKey("ControlSet001\\Services\\kept\\Parameters");
    ASSERT_TRUE(system.commit());
  }
  EXPECT_EQ(removeServiceKeys("evil"), 1);
  EXPECT_EQ(removeServiceKeys("kept"), 1);  // its Enum subkey only
  EXPECT_EQ(removeServiceKeys("absent"), 0);

  const std::string exported = regfexport(config("SYSTEM"));
  for (const char* set : {"ControlSet001", "ControlSet002"}) {
    std::map<std::string, std::string> services;
    EXPECT_TRUE(hivexValues(config("SYSTEM"), std::string(set) + "\\Services", &services));
    EXPECT_FALSE(hivexValues(config("SYSTEM"), std::string(set) + "\\Services\\evil", &services));
    EXPECT_TRUE(exportedKey(exported, std::string(set) + "\\Services\\evil").empty()) << set;
  }
  EXPECT_FALSE(exportedKey(exported, "ControlSet001\\Services\\kept\\Parameters").empty());
  EXPECT_TRUE(exportedKey(exported, "ControlSet001\\Services\\kept\\Enum").empty());
}

TEST_F(OfflineRegistry, FileThatCannotBeDeletedIsRemovedAtThatWindowsNextStart) {
  {
    // Installed on D: when it ran; mapped here as C:.
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString("Microsoft\\Windows NT\\CurrentVersion", "SystemRoot", "D:\\Windows");
    ASSERT_TRUE(software.commit());
    HiveBuilder system(config("SYSTEM"), false);
    system.setMultiString(kSessionManager, "PendingFileRenameOperations",
                          {"\\??\\D:\\old.tmp", ""});
    ASSERT_TRUE(system.commit());
  }
  plantInfected("C:\\Windows\\System32\\locked.exe");
  mapDrive('E');
  plantInfected("E:\\locked.exe");
  // Both files in use: they cannot be deleted now.
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(pinFile(host("C:\\Windows\\System32\\locked.exe")));
  ASSERT_TRUE(pinFile(host("E:\\locked.exe")));
  runScan();

  EXPECT_TRUE(reported("C:\\Windows\\System32\\locked.exe     W32/Tarvolinex.Bej.Ransom.Trojan Unable to remove"));
  EXPECT_TRUE(reported("C:\\Windows\\System32\\locked.exe     will be removed when the Windows on this disk next starts"));
  // Another mapped drive has no letter that Windows is known to give it.
  EXPECT_TRUE(reported("E:\\locked.exe     could not be scheduled for removal at the next start of the Windows on this disk"));
  EXPECT_TRUE(questions.empty()) << "nothing restarts the rescue machine";

  std::map<std::string, std::string> manager;
  ASSERT_TRUE(hivexValues(config("SYSTEM"), kSessionManager, &manager));
  // Source and target pairs, an empty target meaning deletion, in the
  // installation's own drive letter; the list ends with an empty string.
  const char pending[] = "\\??\\D:\\old.tmp\0\0\\??\\D:\\Windows\\System32\\locked.exe\0\0\0";
  EXPECT_EQ(manager["PendingFileRenameOperations"], std::string(pending, sizeof pending - 1));
  const char bootExecute[] = "autocheck autochk *\0\0";
  EXPECT_EQ(manager["BootExecute"], std::string(bootExecute, sizeof bootExecute - 1));
  const std::string exported = exportedKey(regfexport(config("SYSTEM")), kSessionManager);
  const std::string utf16 = exportedData(exported, "PendingFileRenameOperations");
  EXPECT_EQ(utf16ToUtf8(reinterpret_cast<const uint8_t*>(utf16.data()), utf16.size()),
            std::string(pending, sizeof pending - 1)) << exported;
}

TEST_F(OfflineRegistry, CorruptHiveGivesOneLineAndStaysUntouched) {
  std::string garbage(3 * 4096, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 37 + 11);
  std::memcpy(&garbage[0], "regf", 4);
  std::ofstream(config("SOFTWARE"), std::ios::binary | std::ios::trunc) << garbage;
  plantInfected("C:\\a\\one.exe");
  plantInfected("C:\\b\\two.exe");
  runScan();

  EXPECT_EQ(count("C:\\Windows\\System32\\config\\SOFTWARE     registry hive is damaged: its "
                  "format version 1580799215.4073564291 is unknown; its entries are not checked, "
                  "and it is left unchanged"), 1);
  EXPECT_EQ(bytesOf(config("SOFTWARE")), garbage);
  EXPECT_TRUE(reported("C:\\b\\two.exe     W32/Tarvolinex.Bej.Ransom.Trojan removed"));
  EXPECT_TRUE(reported("Total files removed\t\t:  2"));
  EXPECT_EQ(getWindowsFamily(), kFamilyNt);
}

TEST_F(OfflineRegistry, ReportModeLeavesEveryByteUnchanged) {
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRun, "Evil", "C:\\Evil\\evil.exe");
    software.setString(kUninstall, "UninstallString", "C:\\rh\\uninstall.exe");
    ASSERT_TRUE(software.commit());
  }
  plantInfected("C:\\Evil\\evil.exe");
  // Were the file deleted in spite of the mode, it would be in use (where
  // this process may mount) and scheduled in the hive instead, which the byte
  // checks below would see; elsewhere its absence would.
  if (enterPrivateMounts()) {
    ASSERT_TRUE(pinFile(host("C:\\Evil\\evil.exe")));
  }
  const std::string software = bytesOf(config("SOFTWARE")), system = bytesOf(config("SYSTEM"));
  const std::vector<std::string> listing = folderListing(config(""));
  g_session.actionCode = kActionReport;
  runScan();

  EXPECT_TRUE(reported("System Registry     W32/Tarvolinex.Trojan found: "
                       "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil"));
  EXPECT_EQ(bytesOf(config("SOFTWARE")), software);
  EXPECT_EQ(bytesOf(config("SYSTEM")), system);
  EXPECT_EQ(folderListing(config("")), listing) << "no backup, no temporary file";
  EXPECT_TRUE(exists("C:\\Evil\\evil.exe"));
}

TEST_F(OfflineRegistry, InterruptedCommitKeepsTheOriginalAndItsBackup) {
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  const std::string original = bytesOf(config("SOFTWARE"));
  plantInfected("C:\\Evil\\evil.exe");
  plantInfected("C:\\Evil\\more\\again.exe");
  // The disk fills up halfway through writing the new hive, after its backup
  // (a second name for the original file, which takes no room).
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(fillFolderAfter(config(""), original.size() / 2));
  runScan();

  EXPECT_EQ(count("C:\\Windows\\System32\\config\\SOFTWARE     registry hive left unchanged: the "
                  "new hive could not be written: No space left on device"), 1);
  EXPECT_FALSE(reported(kRemoved));
  EXPECT_EQ(count("System Registry     W32/Tarvolinex.Trojan not removed: "
                  "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil"), 1);
  EXPECT_EQ(bytesOf(config("SOFTWARE")), original);
  EXPECT_EQ(bytesOf(backupOf("SOFTWARE")), original);
  EXPECT_FALSE(exists("C:\\Windows\\System32\\config\\SOFTWARE.drenvalisk-new"));
  EXPECT_FALSE(exists("C:\\Evil\\evil.exe")) << "the file scan goes on";
  regfexport(config("SOFTWARE"));
}

TEST_F(OfflineRegistry, BackupIsTheOriginalFileAndNeedsNoRoom) {
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  const std::string original = bytesOf(config("SOFTWARE"));
  plantInfected("C:\\Evil\\evil.exe");
  // Room for the new hive and no more: a copy of the original would not fit.
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(fillFolderAfter(config(""), original.size() + 4096));
  runScan();

  EXPECT_EQ(count(kRemoved), 1);
  EXPECT_EQ(bytesOf(backupOf("SOFTWARE")), original);
  std::map<std::string, std::string> run;
  ASSERT_TRUE(hivexValues(config("SOFTWARE"), kRun, &run));
  EXPECT_TRUE(run.empty());
}

TEST_F(OfflineRegistry, LinksNeverLeadAWriteOutsideTheDrive) {
  // A temporary name left as a link (by an interrupted run or on purpose)
  // is replaced, never followed.
  const std::string outside = mapDrive('Q') + "/outside.dat";
  std::ofstream(outside) << "keep me";
  fs::create_symlink(outside, config("SOFTWARE.drenvalisk-new"));
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  plantInfected("C:\\Evil\\evil.exe");
  runScan();

  EXPECT_EQ(count(kRemoved), 1);
  EXPECT_EQ(bytesOf(outside), "keep me");
  EXPECT_FALSE(exists("C:\\Windows\\System32\\config\\SOFTWARE.drenvalisk-new"));
  regfexport(config("SOFTWARE"));
}

TEST_F(OfflineRegistry, ConfigFolderThatIsALinkIsNotUsed) {
  const std::string elsewhere = mapDrive('Q');
  fs::rename(root_ + "/Windows/System32/config", elsewhere + "/config");
  fs::create_symlink(elsewhere + "/config", root_ + "/Windows/System32/config");
  ASSERT_TRUE(plantEvilRunValue(elsewhere + "/config/SOFTWARE"));
  const std::string software = bytesOf(elsewhere + "/config/SOFTWARE");
  plantInfected("C:\\Evil\\evil.exe");
  runScan();

  EXPECT_EQ(getWindowsFamily(), kFamilyOther) << "no installation: behaviour as before";
  EXPECT_FALSE(reported(kRemoved));
  EXPECT_EQ(bytesOf(elsewhere + "/config/SOFTWARE"), software);
}

TEST_F(OfflineRegistry, ReadOnlyMountChangesNothingAndSaysWhy) {
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  plantInfected("C:\\Evil\\evil.exe");
  const std::string original = bytesOf(config("SOFTWARE"));
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A private mount namespace in which the drive is mounted read-only.
    close(report[0]);
    bool privateMounts = unshare(CLONE_NEWNS) == 0;
    if (!privateMounts && unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
      std::string map = "0 " + std::to_string(getuid()) + " 1";
      std::ofstream("/proc/self/setgroups") << "deny";
      std::ofstream("/proc/self/uid_map") << map;
      privateMounts = true;
    }
    if (!privateMounts || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(root_.c_str(), root_.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, root_.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      _exit(77);
    runScan();
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    (void)!write(report[1], text.data(), text.size());
    _exit(0);
  }
  close(report[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;) text.append(buffer, got);
  close(report[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private read-only mount here";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_NE(text.find("C:\\Windows\\System32\\config\\SOFTWARE     registry hive left unchanged: no "
                      "backup could be made: Read-only file system\n"),
            std::string::npos) << text;
  EXPECT_EQ(text.find(kRemoved), std::string::npos) << text;
  EXPECT_NE(text.find("Total files infected\t\t:  1\n"), std::string::npos) << text;
  EXPECT_EQ(bytesOf(config("SOFTWARE")), original);
  EXPECT_TRUE(exists("C:\\Evil\\evil.exe"));
}

TEST_F(OfflineRegistry, RescueWorkflowThroughTheConsole) {
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  plantInfected("C:\\Evil\\evil.exe");
  const std::string log = mapDrive('L') + "/scan.log";
  const std::string software = bytesOf(config("SOFTWARE"));
  const std::vector<std::string> listing = folderListing(config(""));

  ChildOutcome report = runChild(DRENVALISK_SCAN_BINARY, {"--log", log, root_});
  EXPECT_EQ(report.exitCode, 1);
  EXPECT_NE(report.out.find("System Registry     W32/Tarvolinex.Trojan found: "
                            "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil\n"),
            std::string::npos) << report.out;
  EXPECT_EQ(bytesOf(config("SOFTWARE")), software);
  EXPECT_EQ(folderListing(config("")), listing);

  ChildOutcome removal = runChild(DRENVALISK_SCAN_BINARY, {"--action", "delete", "--log", log, root_});
  EXPECT_EQ(removal.exitCode, 1);
  EXPECT_NE(removal.out.find(std::string(kRemoved) + "\n"), std::string::npos) << removal.out;
  EXPECT_NE(removal.out.find("C:\\Evil\\evil.exe     W32/Tarvolinex.Bej.Ransom.Trojan removed\n"),
            std::string::npos);
  std::map<std::string, std::string> run;
  ASSERT_TRUE(hivexValues(config("SOFTWARE"), kRun, &run));
  EXPECT_TRUE(run.empty());
  EXPECT_TRUE(exportedKey(regfexport(config("SOFTWARE")), kRun).find(" Evil\n") == std::string::npos);
  const std::string logged = bytesOf(log);
  EXPECT_NE(logged.find(report.out), std::string::npos);
  EXPECT_NE(logged.find(removal.out), std::string::npos);
}

struct OfflineVersion {
  const char* name;
  const char* currentVersion;
  uint32_t majorNumber;  // CurrentMajorVersionNumber, 0 for none
  int generation;
};

class OfflineVersionTest : public ScanFixture, public ::testing::WithParamInterface<OfflineVersion> {};

TEST_P(OfflineVersionTest, VersionAndFoldersComeFromTheInstallation) {
  // An older installation: WINNT, every name in other letter case.
  const std::string windows = root_ + "/winnt";
  ASSERT_TRUE(plantInstallation(windows));
  fs::rename(windows + "/System32", windows + "/SYSTEM32");
  fs::rename(windows + "/SYSTEM32/config", windows + "/SYSTEM32/Config");
  fs::rename(windows + "/SYSTEM32/Config/SOFTWARE", windows + "/SYSTEM32/Config/software");
  {
    HiveBuilder software(windows + "/SYSTEM32/Config/software", false);
    software.setString("Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", GetParam().currentVersion);
    if (GetParam().majorNumber)
      software.setDword("Microsoft\\Windows NT\\CurrentVersion", "CurrentMajorVersionNumber",
                        GetParam().majorNumber);
    ASSERT_TRUE(software.commit());
  }
  std::strcpy(g_session.scanTarget, "!:");
  runScan();

  EXPECT_EQ(getWindowsFamily(), kFamilyNt);
  EXPECT_EQ(getNtGeneration(), GetParam().generation);
  char folder[kMaxPath];
  ASSERT_GT(getSystemDirectory(folder, sizeof folder), 0u);
  EXPECT_STREQ(folder, "C:\\winnt\\SYSTEM32");
  char expanded[kMaxPath];
  expandEnvironmentStrings("%windir%\\x.exe;%ProgramFiles%;%UNKNOWN%", expanded, sizeof expanded);
  EXPECT_STREQ(expanded, "C:\\winnt\\x.exe;C:\\Program Files;%UNKNOWN%");
  // No processes to list: the memory stage says nothing.
  EXPECT_EQ(lines.front(), "Scanning statistics");
}

INSTANTIATE_TEST_SUITE_P(
    Offline, OfflineVersionTest,
    ::testing::Values(OfflineVersion{"XP", "5.1", 0, kGenerationNt5},
                      OfflineVersion{"NT4", "4.0", 0, kGenerationNt4},
                      OfflineVersion{"Windows10", "6.3", 10, 0}),
    [](const ::testing::TestParamInfo<OfflineVersion>& info) { return std::string(info.param.name); });
