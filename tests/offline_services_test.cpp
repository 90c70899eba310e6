// Offline, the service registrations of a removed infected file: found by
// the file their ImagePath names, removed from every numbered control set.
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "repair/service_registrations.h"
#include "tests/support/offline_fixture.h"

namespace {

const char* const kEvil = "C:\\Evil\\evil.exe";
const char* const kDriver = "C:\\Windows\\System32\\drivers\\evdrv.sys";
const std::string kName = "W32/Tarvolinex.Bej.Ransom.Trojan";

std::string line(const char* what, const std::string& key) {
  return "System Registry     " + kName + " " + what + ": HKLM\\SYSTEM\\" + key;
}

}  // namespace

class OfflineServices : public OfflineFixture {
 protected:
  // Services as a real SYSTEM hive holds them: three control sets, the third
  // with its services key in lower case; ImagePaths in the forms Windows
  // writes; services named like the file that run another file.
  void plantServices() {
    HiveBuilder system(config("SYSTEM"), false);
    auto service = [&](const std::string& key, const std::string& imagePath, uint32_t type,
                       bool terminated = true) {
      system.setString(key, "ImagePath", imagePath, type, terminated);
      system.setDword(key, "Start", 2);
    };
    service("ControlSet001\\Services\\EvilSvc", "\\??\\C:\\Evil\\evil.exe", kHiveExpandSz);
    system.setString("ControlSet001\\Services\\EvilSvc\\Enum", "0", "Root\\LEGACY_EVILSVC\\0000");
    system.addKey("ControlSet001\\Services\\EvilSvc\\Security");
    service("ControlSet001\\Services\\evdrv", "\\SystemRoot\\System32\\drivers\\evdrv.sys",
            kHiveExpandSz);
    service("ControlSet001\\Services\\evil", "\"C:\\Good\\evil.exe\" -k", kHiveSz);
    service("ControlSet001\\Services\\Backup", "C:\\Evil\\evil.exe.bak", kHiveSz);
    service("ControlSet002\\Services\\EvilSvc", "\"C:\\Evil\\evil.exe\" -service", kHiveSz);
    system.addKey("ControlSet002\\Services\\EvilSvc\\Enum");
    service("ControlSet002\\Services\\Params", "C:\\Evil\\evil.exe -p", kHiveSz);
    system.setString("ControlSet002\\Services\\Params\\Parameters", "ServiceDll", "x.dll");
    system.setMultiString("ControlSet003\\Control\\Session Manager", "BootExecute", {"autocheck"});
    service("ControlSet003\\services\\EvilSvc", "C:\\EVIL\\EVIL.EXE", kHiveSz, false);
    service("ControlSet003\\services\\driver2", "System32\\DRIVERS\\EVDRV.SYS", kHiveExpandSz);
    ASSERT_TRUE(system.commit());
  }
  bool hasKey(const std::string& keyPath) const { return hivexHasKey(config("SYSTEM"), keyPath); }
};

TEST_F(OfflineServices, ServicesOfARemovedFileGoFromEveryControlSet) {
  plantServices();
  plantInfected(kEvil);
  plantInfected(kDriver);
  runScan();

  for (const char* key : {"ControlSet001\\Services\\EvilSvc", "ControlSet001\\Services\\evdrv",
                          "ControlSet002\\Services\\EvilSvc", "ControlSet003\\services\\EvilSvc",
                          "ControlSet003\\services\\driver2"}) {
    EXPECT_EQ(count(line("removed", key)), 1) << key;
    EXPECT_FALSE(hasKey(key)) << key;
  }
  // Its ImagePath names the file, but it holds more than Enum and Security.
  EXPECT_EQ(count(line("Unable to remove", "ControlSet002\\Services\\Params")), 1);
  EXPECT_TRUE(hasKey("ControlSet002\\Services\\Params\\Parameters"));
  // Another file, whatever the service's name.
  for (const char* key : {"ControlSet001\\Services\\evil", "ControlSet001\\Services\\Backup"}) {
    EXPECT_TRUE(hasKey(key)) << key;
    EXPECT_FALSE(reportedStarting(line("removed", key))) << key;
  }
  EXPECT_TRUE(reported(std::string(kEvil) + "     " + kName + " removed"));
  const std::string exported = regfexport(config("SYSTEM"));
  EXPECT_TRUE(exportedKey(exported, "ControlSet001\\Services\\EvilSvc").empty());
  EXPECT_TRUE(exportedKey(exported, "ControlSet001\\Services\\EvilSvc\\Enum").empty());
  EXPECT_FALSE(exportedKey(exported, "ControlSet001\\Services\\evil").empty());
}

TEST_F(OfflineServices, ReportModeListsThemAndChangesNothing) {
  plantServices();
  plantInfected(kEvil);
  const std::string before = bytesOf(config("SYSTEM"));
  const std::vector<std::string> listing = folderListing(config(""));
  g_session.actionCode = kActionReport;
  runScan();

  EXPECT_TRUE(reported(line("found", "ControlSet001\\Services\\EvilSvc")));
  EXPECT_TRUE(reported(line("found", "ControlSet002\\Services\\Params")));
  EXPECT_TRUE(reported(line("found", "ControlSet003\\services\\EvilSvc")));
  EXPECT_FALSE(reportedStarting(line("found", "ControlSet001\\Services\\evil")));
  EXPECT_EQ(bytesOf(config("SYSTEM")), before);
  EXPECT_EQ(folderListing(config("")), listing);
}

TEST_F(OfflineServices, FileThatStaysKeepsItsServices) {
  plantServices();
  plantInfected(kEvil);
  // In use: it cannot be deleted.
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(pinFile(host(kEvil)));
  runScan();

  EXPECT_TRUE(hasKey("ControlSet001\\Services\\EvilSvc\\Enum"));
  EXPECT_FALSE(reportedStarting(line("removed", "")));
}

TEST_F(OfflineServices, ImagePathFormsNameTheirFile) {
  struct Case {
    const char* imagePath;
    const char* file;
    bool names;
  };
  const Case cases[] = {
      {"\\SystemRoot\\System32\\drivers\\evdrv.sys", kDriver, true},
      {"\\systemroot\\system32\\DRIVERS\\EVDRV.SYS", kDriver, true},
      {"System32\\drivers\\evdrv.sys", kDriver, true},
      {"%SystemRoot%\\System32\\drivers\\evdrv.sys", kDriver, true},
      {"\\??\\C:\\Evil\\evil.exe", kEvil, true},
      {"\"C:\\Evil\\evil.exe\" -k netsvcs", kEvil, true},
      {"\"C:\\Evil\\evil.exe", kEvil, true},
      {"C:\\Evil\\evil.exe /service", kEvil, true},
      {"  C:\\Evil\\evil.exe", kEvil, true},
      {"C:\\Evil\\evil.exe.bak", kEvil, false},
      {"\"C:\\Evil\\evil.exe.bak\" -k", kEvil, false},
      {"C:\\Evil\\evil.exe2", kEvil, false},
      {"C:\\Other\\evil.exe", kEvil, false},
      {"evil.exe", kEvil, false},
      {"\\??\\C:\\Evil", kEvil, false},
      {"", kEvil, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(imagePathNames(c.imagePath, c.file), c.names) << c.imagePath;
}
