// A 64-bit installation offline: its 32-bit programs' registry view under
// Software\WOW6432Node is cleaned as the 64-bit one is.
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/support/offline_fixture.h"

namespace {

const char* const kRun32 = "WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunServices32 = "WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kUninstall32 =
    "WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";
const char* const kEvil = "C:\\Program Files (x86)\\Evil\\evil.exe";

}  // namespace

class OfflineViews : public OfflineFixture {
 protected:
  // A 64-bit Windows 10 as it is laid out: the processor architecture in
  // each control set's environment, and the 32-bit view beside the 64-bit one.
  void makeSixtyFourBit(const char* architecture = "AMD64") {
    HiveBuilder system(config("SYSTEM"), false);
    for (const char* set : {"ControlSet001", "ControlSet002"})
      system.setString(std::string(set) + "\\Control\\Session Manager\\Environment",
                       "PROCESSOR_ARCHITECTURE", architecture);
    ASSERT_TRUE(system.commit());
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir (x86)",
                       "C:\\Program Files (x86)");
    software.addKey(kRun32);
    ASSERT_TRUE(software.commit());
  }
  std::map<std::string, std::string> values(const std::string& keyPath) {
    std::map<std::string, std::string> found;
    EXPECT_TRUE(hivexValues(config("SOFTWARE"), keyPath, &found)) << keyPath;
    return found;
  }
};

TEST_F(OfflineViews, StartupValuesAndUninstallEntryGoFromBothViews) {
  makeSixtyFourBit();
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRun, "Evil64", kEvil);
    software.setString(kRun32, "Keep", "C:\\Program Files (x86)\\Good\\good.exe");
    // As Windows stores them: without a terminator, and with trailing NULs.
    software.setString(kRun32, "Evil32", std::string("\"") + kEvil + "\" /q", kHiveSz, false);
    software.setString(kRunServices32, "EvilSvc",
                       std::string("%ProgramFiles(x86)%\\Evil\\evil.exe") + std::string(3, '\0'),
                       kHiveExpandSz);
    software.setString(kUninstall32, "UninstallString", "C:\\Program Files (x86)\\rh\\uninstall.exe");
    software.setString(kUninstall32, "DisplayName", "Helper");
    software.setString(kRun32, "SMrhcjg7j0e38v", "C:\\Program Files (x86)\\rh\\rhcjg7j0e38v.exe",
                       kHiveSz, false);
    ASSERT_TRUE(software.commit());
  }
  plantInfected(kEvil);
  runScan();

  EXPECT_EQ(count(kRemoved), 3) << "one line per removed value";
  EXPECT_TRUE(values(kRun).empty());
  EXPECT_EQ(namesOf(values(kRun32)), (std::vector<std::string>{"Keep"}));
  EXPECT_TRUE(values(kRunServices32).empty());
  EXPECT_EQ(namesOf(values(kUninstall32)), (std::vector<std::string>{"DisplayName"}));
  const std::string exported = regfexport(config("SOFTWARE"));
  EXPECT_EQ(exportedKey(exported, kRun32).find("Evil32"), std::string::npos);
  EXPECT_EQ(exportedKey(exported, kRun32).find("SMrhcjg7j0e38v"), std::string::npos);
  EXPECT_NE(exportedKey(exported, kRun32).find(" Keep\n"), std::string::npos);
}

TEST_F(OfflineViews, RememberedNameIsDeletedInBothViewsAtTheNextMatch) {
  makeSixtyFourBit("ARM64");
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRun32, "Loader", kEvil);
    ASSERT_TRUE(software.commit());
  }
  plantInfected(kEvil);
  plantInfected("C:\\Users\\me\\later.exe");
  // The trojan wrote its value again under its remembered name, in both views,
  // where the second file is found only by its name.
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRunServices, "Loader", "C:\\elsewhere\\a.exe");
    software.setString(kUninstall32, "Loader", "C:\\elsewhere\\b.exe");
    ASSERT_TRUE(software.commit());
  }
  runScan();

  EXPECT_EQ(count(kRemoved), 1);
  EXPECT_EQ(count("System Registry     W32/Tarvolinex.Bej.Ransom.Trojan removed"), 2);
  EXPECT_TRUE(values(kRun32).empty());
  EXPECT_TRUE(values(kRunServices).empty());
  EXPECT_TRUE(values(kUninstall32).empty());
}

TEST_F(OfflineViews, ReportModeListsTheThirtyTwoBitViewAndChangesNothing) {
  makeSixtyFourBit();
  {
    HiveBuilder software(config("SOFTWARE"), false);
    software.setString(kRun32, "Evil32", kEvil);
    software.setString(kUninstall32, "UninstallString", "C:\\rh\\uninstall.exe");
    ASSERT_TRUE(software.commit());
  }
  plantInfected(kEvil);
  const std::string before = bytesOf(config("SOFTWARE"));
  const std::vector<std::string> listing = folderListing(config(""));
  g_session.actionCode = kActionReport;
  runScan();

  EXPECT_TRUE(reported("System Registry     W32/Tarvolinex.Trojan found: "
                       "HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\\Evil32"));
  EXPECT_TRUE(reported("System Registry     W32/Tarvolinex.Trojan found: HKLM\\SOFTWARE\\WOW6432Node\\"
                       "Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v\\UninstallString"));
  EXPECT_EQ(bytesOf(config("SOFTWARE")), before);
  EXPECT_EQ(folderListing(config("")), listing);
}

TEST_F(OfflineViews, OnlyAnOfflineSixtyFourBitInstallationHasAnotherView) {
  const char* views[kMaxExtraSoftwareViews] = {};
  makeSixtyFourBit();
  ASSERT_EQ(regExtraSoftwareViews(views, kMaxExtraSoftwareViews), 1);
  EXPECT_STREQ(views[0], "WOW6432Node");
  // A 32-bit installation.
  const std::string other = mapDrive('Q');
  ASSERT_TRUE(plantInstallation(other + "/Windows"));
  hostMapDrive('C', other);
  EXPECT_EQ(regExtraSoftwareViews(views, kMaxExtraSoftwareViews), 0);
  // No installation: nothing to redirect.
  hostMapDrive('C', mapDrive('R'));
  EXPECT_EQ(regExtraSoftwareViews(views, kMaxExtraSoftwareViews), 0);
}

TEST_F(OfflineViews, TheControlSetWindowsStartsWithNamesTheProcessor) {
  // No WOW6432Node key: only the processor tells, as the control set that
  // Select\Default names gives it.
  const char* views[kMaxExtraSoftwareViews] = {};
  for (uint32_t chosen : {1u, 2u}) {
    SCOPED_TRACE(chosen);
    {
      HiveBuilder system(config("SYSTEM"), false);
      system.setDword("Select", "Default", chosen);
      system.setString("ControlSet001\\Control\\Session Manager\\Environment",
                       "PROCESSOR_ARCHITECTURE", "x86");
      system.setString("ControlSet002\\Control\\Session Manager\\Environment",
                       "PROCESSOR_ARCHITECTURE", "AMD64");
      ASSERT_TRUE(system.commit());
    }
    hostMapDrive('C', root_);  // the installation read afresh
    EXPECT_EQ(regExtraSoftwareViews(views, kMaxExtraSoftwareViews), chosen == 2 ? 1 : 0);
  }
}
