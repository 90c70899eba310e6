// Registry cleaning after a match: start-up values that launch the infected
// file, the remembered value name deleted at later matches, and the hosts
// file handed to the uuencoded matcher.
#include "repair/registry_repair.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/signature_table.h"
#include "engine/uu_matcher.h"
#include "platform/registry.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

const char* const kRun = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
const char* const kRunServices = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICES";
const char* const kUninstall =
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\RHCJG7J0E38V";
const char* const kRemovedLine = "System Registry     W32/Tarvolinex.Trojan removed";

}  // namespace

class RegistryRepair : public ScanFixture {
 protected:
  void TearDown() override {
    EXPECT_EQ(simMachine().openKeys, 0) << "every key opened is closed";
    ScanFixture::TearDown();
  }
  static void addValue(const std::string& key, const std::string& name, const std::string& data) {
    SimRegistryValue value;
    value.name = name;
    value.data.assign(data.begin(), data.end());
    value.data.push_back(0);
    simMachine().registry[key].values.push_back(value);
  }
  static std::vector<std::string> valueNames(const std::string& key) {
    std::vector<std::string> names;
    for (const SimRegistryValue& value : simMachine().registry[key].values) names.push_back(value.name);
    return names;
  }
  static void matched(const char* path, const char* name = "W32/Tarvolinex.Bej.Ransom.Trojan") {
    std::memset(g_session.currentFile, 0, sizeof g_session.currentFile);
    std::strcpy(g_session.currentFile, path);
    repairRegistry(name);
  }
};

TEST_F(RegistryRepair, BareNameOfAFileInASystemFolderIsDeleted) {
  for (const char* path : {"C:\\WINDOWS\\SYSTEM32\\X.EXE", "C:\\WINDOWS\\SYSTEM\\X.EXE"}) {
    simMachine().registry.clear();
    lines.clear();
    std::memset(g_session.startupValueName, 0, sizeof g_session.startupValueName);
    addValue(kRun, "Shell", "explorer.exe");
    addValue(kRun, "XLoader", "x.exe");
    matched(path);
    EXPECT_EQ(valueNames(kRun), (std::vector<std::string>{"Shell"})) << path;
    EXPECT_STREQ(g_session.startupValueName, "XLoader");
    EXPECT_EQ(lines, (std::vector<std::string>{kRemovedLine}));
  }
  // The infected file's path is compared, and left, in lower case.
  EXPECT_STREQ(g_session.currentFile, "c:\\windows\\system\\x.exe");
}

TEST_F(RegistryRepair, BareNameOutsideTheSystemFoldersStays) {
  addValue(kRun, "XLoader", "x.exe");
  addValue(kRunServices, "XService", "X.EXE /service");
  matched("C:\\TOOLS\\X.EXE");
  EXPECT_EQ(valueNames(kRun).size(), 1u);
  EXPECT_EQ(valueNames(kRunServices).size(), 1u);
  EXPECT_STREQ(g_session.startupValueName, "");
  EXPECT_TRUE(lines.empty());
  // "\system32\" must be a folder of the path, not part of a name.
  matched("C:\\mysystem32x\\x.exe");
  EXPECT_EQ(valueNames(kRun).size(), 1u);
}

TEST_F(RegistryRepair, FullPathInQuotesWithArgumentsIsDeleted) {
  addValue(kRun, "Other", "C:\\Other\\x.exe");
  addValue(kRun, "Evil", "\"C:\\PROGRAM FILES\\EVIL\\X.EXE\" /autorun -q");
  addValue(kRunServices, "EvilSvc", "c:\\program files\\evil\\x.exe");
  matched("C:\\Program Files\\Evil\\x.exe");
  EXPECT_EQ(valueNames(kRun), (std::vector<std::string>{"Other"}));
  EXPECT_TRUE(valueNames(kRunServices).empty());
  EXPECT_STREQ(g_session.startupValueName, "EvilSvc");
  EXPECT_EQ(lines, (std::vector<std::string>{kRemovedLine, kRemovedLine}));
}

TEST_F(RegistryRepair, EnvironmentReferencesAreMatchedThroughTheirExpansion) {
  simMachine().environment["SystemRoot"] = "C:\\WINDOWS";
  addValue(kRun, "Kept", "%SystemRoot%\\system32\\y.exe");
  addValue(kRun, "Evil", "%SYSTEMROOT%\\System32\\X.exe -s");
  addValue(kRun, "Quoted", "\"%SystemRoot%\\system32\\x.exe\"");
  matched("C:\\WINDOWS\\system32\\x.exe");
  EXPECT_EQ(valueNames(kRun), (std::vector<std::string>{"Kept"}));
  EXPECT_EQ(lines.size(), 2u);
}

TEST_F(RegistryRepair, ConsecutiveValuesAreAllDeleted) {
  addValue(kRun, "A", "c:\\evil\\x.exe");
  addValue(kRun, "B", "\"c:\\evil\\x.exe\"");
  addValue(kRun, "C", "c:\\evil\\x.exe /b");
  addValue(kRun, "Keep1", "calc.exe");
  addValue(kRun, "D", "C:\\EVIL\\X.EXE");
  addValue(kRun, "Keep2", "c:\\windows\\notepad.exe");
  addValue(kRun, "E", "c:\\evil\\x.exe");
  matched("C:\\Evil\\x.exe");
  EXPECT_EQ(valueNames(kRun), (std::vector<std::string>{"Keep1", "Keep2"}));
  EXPECT_EQ(lines.size(), 5u);
  EXPECT_STREQ(g_session.startupValueName, "E");
}

TEST_F(RegistryRepair, RememberedNameIsDeletedAtTheNextMatchWithThatFilesName) {
  addValue(kRun, "Loader", "c:\\evil\\x.exe");
  matched("C:\\Evil\\x.exe");
  ASSERT_STREQ(g_session.startupValueName, "Loader");
  lines.clear();

  // The trojan wrote the value again, in all three keys.
  addValue(kRun, "Loader", "c:\\somewhere\\else.exe");
  addValue(kRunServices, "Other", "c:\\windows\\service.exe");
  addValue(kRunServices, "LOADER", "c:\\somewhere\\else.exe");
  addValue(kUninstall, "Loader", "c:\\somewhere\\uninstall.exe");
  matched("C:\\Other\\y.exe", "W32/Tarvolinex.Lorg.Ransom.Trojan");
  const std::string line = "System Registry     W32/Tarvolinex.Lorg.Ransom.Trojan removed";
  EXPECT_EQ(lines, (std::vector<std::string>{line, line, line}));
  EXPECT_TRUE(valueNames(kRun).empty());
  EXPECT_EQ(valueNames(kRunServices), (std::vector<std::string>{"Other"}));
  EXPECT_TRUE(valueNames(kUninstall).empty());
}

TEST_F(RegistryRepair, FullPathNameIsRememberedEvenWhenItsDeletionFails) {
  addValue(kRun, "Loader", "c:\\evil\\x.exe");
  simMachine().failValueDeletes = {std::string(kRun) + "\\LOADER"};
  matched("C:\\Evil\\x.exe");
  EXPECT_STREQ(g_session.startupValueName, "Loader");
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(valueNames(kRun).size(), 1u);

  // Tried again by name at the next match.
  simMachine().failValueDeletes.clear();
  matched("C:\\Other\\y.exe", "W32/Tarvolinex.Lorg.Ransom.Trojan");
  EXPECT_EQ(lines, (std::vector<std::string>{"System Registry     W32/Tarvolinex.Lorg.Ransom.Trojan removed"}));
  EXPECT_TRUE(valueNames(kRun).empty());
}

TEST_F(RegistryRepair, BareNameIsRememberedOnlyAfterItsDeletion) {
  addValue(kRun, "XLoader", "x.exe");
  simMachine().failValueDeletes = {std::string(kRun) + "\\XLOADER"};
  matched("C:\\WINDOWS\\SYSTEM32\\X.EXE");
  EXPECT_STREQ(g_session.startupValueName, "");
  EXPECT_TRUE(lines.empty());
}

TEST_F(RegistryRepair, NothingIsReportedWithoutAReportWindow) {
  g_session.reportWindow = nullptr;
  addValue(kRun, "Loader", "c:\\evil\\x.exe");
  matched("C:\\Evil\\x.exe");
  EXPECT_TRUE(valueNames(kRun).empty());
  EXPECT_TRUE(lines.empty());
}

// Windows runs a command whatever the length of its arguments: data larger
// than the buffer is read up to it and matched by what it starts with.
TEST_F(RegistryRepair, OversizedDataIsMatchedByItsStart) {
  std::string fits = "c:\\evil\\x.exe " + std::string(200, 'a');
  std::string tooLarge = "c:\\evil\\x.exe " + std::string(2000, 'a');
  std::string other = "c:\\other\\y.exe " + std::string(2000, 'a');
  addValue(kRun, "Large", tooLarge);
  addValue(kRun, "Other", other);
  addValue(kRun, "Fits", fits);
  matched("C:\\Evil\\x.exe");
  EXPECT_EQ(valueNames(kRun), (std::vector<std::string>{"Other"}));
  EXPECT_EQ(lines, (std::vector<std::string>{kRemovedLine, kRemovedLine}));
}

// The data buffer holds 264 bytes: a value of 263 characters and its
// terminator fills it; one character more is read up to the buffer.
TEST_F(RegistryRepair, ValueFillingTheDataBufferExactlyIsRead) {
  const std::string quoted = "\"c:\\evil\\x.exe\" ";
  std::string exact = quoted + std::string(263 - quoted.size(), 'a');
  std::string over = quoted + std::string(264 - quoted.size(), 'a');
  ASSERT_EQ(exact.size(), 263u);
  addValue(kRun, "Over", over);
  addValue(kRun, "Exact", exact);
  matched("C:\\Evil\\x.exe");
  EXPECT_TRUE(valueNames(kRun).empty());
  EXPECT_EQ(lines, (std::vector<std::string>{kRemovedLine, kRemovedLine}));
  EXPECT_STREQ(g_session.startupValueName, "Exact");
}

// Quoted paths at the platform's limit (a 259-character path, the longest the
// matcher is given) still fit the data buffer and are matched.
TEST_F(RegistryRepair, QuotedPathsOfTheLongestLengthsAreMatched) {
  for (size_t length : {258u, 259u}) {
    SCOPED_TRACE(length);
    simMachine().registry.clear();
    lines.clear();
    // C:\ + folders of 100 characters + a file name, `length` characters in all.
    std::string path = "C:\\" + std::string(100, 'd') + "\\" + std::string(100, 'e') + "\\";
    path += std::string(length - path.size() - 4, 'f') + ".exe";
    ASSERT_EQ(path.size(), length);
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    addValue(kRun, "Quoted", "\"" + lower + "\"");
    std::string withArgument = "\"" + lower + "\" ";
    withArgument += std::string(263 - withArgument.size(), 'x');  // fills the buffer
    addValue(kRun, "QuotedWithArgument", withArgument);
    addValue(kRunServices, "Plain", lower);
    matched(path.c_str());
    EXPECT_TRUE(valueNames(kRun).empty());
    EXPECT_TRUE(valueNames(kRunServices).empty());
    EXPECT_EQ(lines.size(), 3u);
  }
}

TEST_F(RegistryRepair, OverlongValueNameIsDeletedButNotRemembered) {
  std::string longName(140, 'n');
  std::string longest(127, 'm');
  addValue(kRun, longName, "c:\\evil\\x.exe");
  matched("C:\\Evil\\x.exe");
  EXPECT_TRUE(valueNames(kRun).empty());
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_STREQ(g_session.startupValueName, "");

  addValue(kRun, longest, "c:\\evil\\x.exe");
  matched("C:\\Evil\\x.exe");
  EXPECT_EQ(std::string(g_session.startupValueName), longest);
}

TEST_F(RegistryRepair, StartupKeysAreLeftWithoutAFolderInTheInfectedPath) {
  addValue(kRun, "A", "x.exe");
  addValue(kRun, "B", "x.exe");
  matched("x.exe");
  EXPECT_EQ(valueNames(kRun).size(), 2u);
  matched("");
  EXPECT_EQ(valueNames(kRun).size(), 2u);
}

TEST_F(RegistryRepair, ValueHelpersReportEveryFailure) {
  addValue(kRun, "A", "text");
  SimRegistryValue binary;
  binary.name = "Bin";
  binary.type = kRegBinary;
  binary.data = {'h', 'i', 0};
  simMachine().registry[kRun].values.push_back(binary);

  char out[264];
  // Data that is not a string is not read as one, as Windows reads start-up values.
  EXPECT_EQ(readRegistryString(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "Bin", out, sizeof out), 0);
  EXPECT_EQ(readRegistryString(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "Missing", out, sizeof out), 0);
  EXPECT_EQ(readRegistryString(PLATFORM_HKEY_LOCAL_MACHINE, "SOFTWARE\\NONE", "A", out, sizeof out), 0);
  EXPECT_EQ(readRegistryString(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "A", out, 5), 1);
  EXPECT_STREQ(out, "text");
  // Data larger than the buffer is read up to it; a string's data is its
  // length, with or without a terminator, with or without trailing NULs.
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(readRegistryString(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "A", out, 4), 1);
  EXPECT_EQ(std::string(out, 5), std::string("tex\0z", 5)) << "never written past the buffer";
  SimRegistryValue raw;
  raw.name = "Raw";
  raw.data = {'r', 'a', 'w', '!'};
  simMachine().registry[kRun].values.push_back(raw);
  EXPECT_EQ(readRegistryString(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "Raw", out, sizeof out), 1);
  EXPECT_STREQ(out, "raw!");
  EXPECT_EQ(readRegistryString(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "Raw", out, 4), 1);
  EXPECT_STREQ(out, "raw");

  EXPECT_EQ(deleteRegistryValue(PLATFORM_HKEY_LOCAL_MACHINE, "SOFTWARE\\NONE", "A"), 0);
  EXPECT_EQ(deleteRegistryValue(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "Missing"), 0);
  simMachine().failKeyClose = true;
  EXPECT_EQ(deleteRegistryValue(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "A"), 0);
  EXPECT_EQ(valueNames(kRun), (std::vector<std::string>{"Bin", "Raw"}));
  simMachine().failKeyClose = false;
  EXPECT_EQ(deleteRegistryValue(PLATFORM_HKEY_LOCAL_MACHINE, kRun, "bin"), 1);
}

// --- Report mode: every value a delete run would remove is listed as found,
// and nothing is deleted ---

namespace {
std::string foundLine(const std::string& name, const std::string& key, const std::string& value) {
  return "System Registry     " + name + " found: HKLM\\" + key + "\\" + value;
}
const std::string kTrojan = "W32/Tarvolinex.Trojan";
const std::string kRunPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunServicesPath = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const std::string kUninstallPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";
}  // namespace

TEST_F(RegistryRepair, ReportModeListsTheStartupValuesItWouldRemoveAndDeletesNone) {
  g_session.actionCode = kActionReport;
  addValue(kRun, "Other", "C:\\Other\\x.exe");
  addValue(kRun, "Evil", "\"C:\\EVIL\\X.EXE\" /autorun");
  addValue(kRun, "Evil2", "c:\\evil\\x.exe");
  addValue(kRunServices, "Bare", "x.exe");  // outside the system folders: kept by a delete run too
  addValue(kRunServices, "EvilSvc2", "c:\\evil\\x.exe -s");
  g_session.filesInfected = 1;  // the scan's first match
  matched("C:\\Evil\\x.exe");
  EXPECT_EQ(valueNames(kRun), (std::vector<std::string>{"Other", "Evil", "Evil2"}));
  EXPECT_EQ(valueNames(kRunServices), (std::vector<std::string>{"Bare", "EvilSvc2"}));
  EXPECT_EQ(lines, (std::vector<std::string>{foundLine(kTrojan, kRunPath, "Evil"),
                                             foundLine(kTrojan, kRunPath, "Evil2"),
                                             foundLine(kTrojan, kRunServicesPath, "EvilSvc2")}));
  EXPECT_STREQ(g_session.startupValueName, "EvilSvc2");

  // A bare name in a system folder is listed as a delete run would remove it.
  lines.clear();
  addValue(kRun, "XLoader", "x.exe");
  g_session.filesInfected = 2;
  matched("C:\\WINDOWS\\SYSTEM32\\X.EXE");
  EXPECT_EQ(lines, (std::vector<std::string>{foundLine(kTrojan, kRunPath, "XLoader"),
                                             foundLine(kTrojan, kRunServicesPath, "Bare")}));
  EXPECT_EQ(valueNames(kRun).size(), 4u);
  EXPECT_EQ(valueNames(kRunServices).size(), 2u);
}

// The remembered name is looked for, not deleted, at later matches; a value
// already listed in this scan is not listed again.
TEST_F(RegistryRepair, ReportModeListsEachValueOnceOverLaterMatches) {
  g_session.actionCode = kActionReport;
  addValue(kRun, "Loader", "c:\\evil\\x.exe");
  addValue(kRunServices, "LOADER", "c:\\somewhere\\else.exe");
  addValue(kUninstall, "Loader", "c:\\somewhere\\uninstall.exe");
  g_session.filesInfected = 1;
  matched("C:\\Evil\\x.exe");
  EXPECT_EQ(lines, (std::vector<std::string>{foundLine(kTrojan, kRunPath, "Loader")}));

  const std::string lorg = "W32/Tarvolinex.Lorg.Ransom.Trojan";
  g_session.filesInfected = 2;
  matched("C:\\Other\\y.exe", lorg.c_str());
  g_session.filesInfected = 3;
  matched("C:\\Evil\\x.exe", lorg.c_str());
  EXPECT_EQ(lines, (std::vector<std::string>{foundLine(kTrojan, kRunPath, "Loader"),
                                             foundLine(lorg, kRunServicesPath, "Loader"),
                                             foundLine(lorg, kUninstallPath, "Loader")}));
  EXPECT_EQ(valueNames(kRun).size(), 1u);
  EXPECT_EQ(valueNames(kRunServices).size(), 1u);
  EXPECT_EQ(valueNames(kUninstall).size(), 1u);

  // The first match of the next scan lists them afresh.
  lines.clear();
  g_session.filesInfected = 1;
  matched("C:\\Evil\\x.exe");
  EXPECT_EQ(lines.size(), 3u);
}

// The trojan's uninstall command and start-up value, which a delete run
// removes after deleting an infected file, are listed too.
TEST_F(RegistryRepair, ReportModeListsTheTrojansUninstallEntry) {
  g_session.actionCode = kActionReport;
  addValue(kUninstall, "UninstallString", "\"C:\\Program Files\\rhcjg7j0e38v\\uninstall.exe\" /u");
  addValue(kRun, "SMrhcjg7j0e38v", "C:\\WINDOWS\\system32\\rhcjg7j0e38v.exe -s");
  matched("C:\\Evil\\x.exe");
  EXPECT_EQ(lines, (std::vector<std::string>{
                       foundLine(kTrojan, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v",
                                 "UninstallString"),
                       foundLine(kTrojan, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                 "SMrhcjg7j0e38v")}));
  EXPECT_EQ(valueNames(kUninstall).size(), 1u);
  EXPECT_EQ(valueNames(kRun).size(), 1u);

  // A delete run lists nothing of the kind: it removes the values only after
  // deleting a file, which the actions do.
  lines.clear();
  g_session.actionCode = kActionDelete;
  matched("C:\\Evil\\x.exe");
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(valueNames(kRun).size(), 1u);
}

// --- The hosts file ---

class HostsFileCheck : public RegistryRepair {
 protected:
  void SetUp() override {
    RegistryRepair::SetUp();
    // The shipped record as stored, its pattern made plain here.
    std::ifstream in(DRENVALISK_SOURCE_DIR "/res/uu_signature.dat", std::ios::binary);
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(&record_), sizeof record_));
    const uint16_t patternLength = record_.patternLength;  // packed fields: copy first
    const int16_t method = record_.method, region = record_.region;
    ASSERT_GT(patternLength, 0);
    ASSERT_LE(patternLength, sizeof record_.pattern);
    ASSERT_EQ(method, 1);
    ASSERT_EQ(region, 0);
    for (int i = 0; i < record_.patternLength; ++i) record_.pattern[i] ^= kUuPatternKey;
    for (int i = 0; i < record_.patternLength; ++i) ASSERT_FALSE(std::isspace(record_.pattern[i]));
    // The matcher restores the active table's pattern in place once per
    // process: let that happen, if it has not yet, to a scratch copy, and hand
    // it the plain record afterwards.
    scratch_ = record_;
    useUuSignatureTable(&scratch_, 1);
    matchUuencodedFile("W32/Tarvolinex.Trojan ", "C:\\no such file");
    useUuSignatureTable(&record_, 1);
    g_session.actionCode = kActionDelete;
  }
  void TearDown() override {
    useUuSignatureTable(nullptr, 0);
    RegistryRepair::TearDown();
  }
  // A uuencoded text carrying the pattern, broken into lines of 61 characters.
  std::string wormText() const {
    std::string body(reinterpret_cast<const char*>(record_.pattern), record_.patternLength);
    std::string text = "begin 644 worm.exe\n";
    for (size_t at = 0; at < body.size(); at += 61) text += body.substr(at, 61) + "\n";
    text += "`\nend\n";
    return text;
  }
  std::string wormName() const { return std::string(record_.name); }

  UuSignatureRecord record_;
  UuSignatureRecord scratch_;
};

TEST_F(HostsFileCheck, NtExaminesTheHostsFileUnderTheSystemFolder) {
  simMachine().platformId = 2;
  simMachine().majorVersion = 5;
  writeText("C:\\WINDOWS\\system32\\drivers\\etc\\hosts", wormText());
  writeText("C:\\WINDOWS\\hosts", wormText());
  matched("C:\\Evil\\x.exe");
  EXPECT_FALSE(exists("C:\\WINDOWS\\system32\\drivers\\etc\\hosts"));
  EXPECT_TRUE(exists("C:\\WINDOWS\\hosts"));
  EXPECT_EQ(g_session.filesInfected, 1);
  EXPECT_EQ(lines, (std::vector<std::string>{"C:\\WINDOWS\\system32\\drivers\\etc\\hosts     " +
                                             wormName() + " removed"}));
}

TEST_F(HostsFileCheck, NineXExaminesTheHostsFileInTheWindowsFolder) {
  simMachine().platformId = 1;
  writeText("C:\\WINDOWS\\system32\\drivers\\etc\\hosts", wormText());
  writeText("C:\\WINDOWS\\hosts", wormText());
  matched("C:\\Evil\\x.exe");
  EXPECT_TRUE(exists("C:\\WINDOWS\\system32\\drivers\\etc\\hosts"));
  EXPECT_FALSE(exists("C:\\WINDOWS\\hosts"));
  EXPECT_EQ(lines, (std::vector<std::string>{"C:\\WINDOWS\\hosts     " + wormName() + " removed"}));
}

TEST_F(HostsFileCheck, OtherFamiliesLeaveTheHostsFileAlone) {
  simMachine().platformId = 0;
  writeText("C:\\WINDOWS\\system32\\drivers\\etc\\hosts", wormText());
  writeText("C:\\WINDOWS\\hosts", wormText());
  matched("C:\\Evil\\x.exe");
  EXPECT_TRUE(exists("C:\\WINDOWS\\system32\\drivers\\etc\\hosts"));
  EXPECT_TRUE(exists("C:\\WINDOWS\\hosts"));
  EXPECT_EQ(g_session.filesInfected, 0);
  EXPECT_TRUE(lines.empty());
}

TEST_F(HostsFileCheck, OrdinaryHostsFileIsKept) {
  simMachine().platformId = 2;
  writeText("C:\\WINDOWS\\system32\\drivers\\etc\\hosts", "127.0.0.1 localhost\n");
  matched("C:\\Evil\\x.exe");
  EXPECT_TRUE(exists("C:\\WINDOWS\\system32\\drivers\\etc\\hosts"));
  EXPECT_EQ(g_session.filesInfected, 0);
}
