// A Windows installation planted on C: for the offline tests of the Linux
// platform, and readers of the hive files it holds: libhivex's and an
// independent one (regfexport).
#pragma once
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/session.h"
#include "platform/offline/hive_registry.h"
#include "samples/hive_builder.h"
#include "samples/pe_builder.h"
#include "tests/support/private_mounts.h"
#include "tests/support/scan_fixture.h"

// Keys of the SOFTWARE hive (below its root) and of the SYSTEM hive the
// cleaning changes, and the report line of a registry value removed.
const char* const kRun = "Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunServices = "Microsoft\\Windows\\CurrentVersion\\RunServices";
const char* const kUninstall = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";
const char* const kSessionManager = "ControlSet001\\Control\\Session Manager";
const char* const kRemoved = "System Registry     W32/Tarvolinex.Trojan removed";

// A file's bytes.
std::string bytesOf(const std::string& path);
// A file's bytes to edit (samples/byte_fields.h), and writing them back.
std::vector<uint8_t> fileBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A folder's entry names, sorted.
std::vector<std::string> folderListing(const std::string& folder);
// A key's values as libhivex reads the file: name -> data, strings as UTF-8
// without their terminator. False when the file or key cannot be read.
bool hivexValues(const std::string& file, const std::string& keyPath,
                 std::map<std::string, std::string>* values);
// The key exists in the hive file, as libhivex reads it.
bool hivexHasKey(const std::string& file, const std::string& keyPath);
std::vector<std::string> namesOf(const std::map<std::string, std::string>& values);
// regfexport's listing of a hive file, which must read it without complaint.
std::string regfexport(const std::string& file);
// The part of a regfexport listing that describes one key (below the root).
std::string exportedKey(const std::string& listing, const std::string& keyPath);
// A value's data in a regfexport listing of one key: the text of a string,
// the bytes of anything it shows as a hex dump ("00000000: 61 00 ...").
std::string exportedData(const std::string& key, const std::string& valueName);

// A scan of all fixed drives in delete mode, C: holding an installation
// (plantInstallation) under Windows.
class OfflineFixture : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    ASSERT_TRUE(plantInstallation(root_ + "/Windows"));
    std::strcpy(g_session.scanTarget, "!:");
    g_session.actionCode = kActionDelete;
  }
  void TearDown() override {
    EXPECT_EQ(hiveOpenKeyCount(), 0) << "every key opened is closed";
    releasePrivateMounts();
    ScanFixture::TearDown();
  }

  std::string config(const std::string& name) const {
    return root_ + "/Windows/System32/config/" + name;
  }
  // The SOFTWARE hive file `hive` starts C:\Evil\evil.exe at every logon.
  static bool plantEvilRunValue(const std::string& hive) {
    HiveBuilder software(hive, false);
    software.setString(kRun, "Evil", "C:\\Evil\\evil.exe");
    return software.commit();
  }
  // The SOFTWARE hive file `hive` holds the uninstall entry of the trojan's
  // helper and the helper's start-up value, under the names given (Windows
  // finds them in any letter case).
  static bool plantUninstallEntry(const std::string& hive, const std::string& uninstallString,
                                  const std::string& startupName) {
    HiveBuilder software(hive, false);
    software.setString(kUninstall, uninstallString, "C:\\Program Files\\rh\\uninstall.exe");
    software.setString(kUninstall, "DisplayName", "Helper");
    software.setString(kRun, startupName, "C:\\Program Files\\rh\\rhcjg7j0e38v.exe");
    return software.commit();
  }
  // After a run that removed an infected file: the uninstall entry keeps only
  // its other values, and the start-up value is gone.
  void expectUninstallEntryCleaned() const {
    std::map<std::string, std::string> uninstall, run;
    ASSERT_TRUE(hivexValues(config("SOFTWARE"), kUninstall, &uninstall));
    ASSERT_TRUE(hivexValues(config("SOFTWARE"), kRun, &run));
    EXPECT_EQ(namesOf(uninstall), (std::vector<std::string>{"DisplayName"}));
    EXPECT_TRUE(run.empty());
  }
  void plantInfected(const std::string& windowsPath) const {
    writeFile(windowsPath, buildInfectedSample(builtInRecord(0)));
  }
  int count(const std::string& line) const {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }
  bool reported(const std::string& line) const { return count(line) > 0; }
  bool reportedStarting(const std::string& start) const {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.rfind(start, 0) == 0; });
  }
  std::string backupOf(const std::string& name) const {
    for (const std::string& entry : folderListing(config("")))
      if (entry.rfind(name + ".drenvalisk-backup-", 0) == 0) return config(entry);
    return std::string();
  }
};

