// The memory scan stage over the simulated machine: infected processes found
// through their image files, terminated (on the NT family through a service
// stop when termination fails), their files removed, and the end of the
// program on the NT family with or without the restart question.
#include "memory/memory_stage.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/session.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "samples/pe_builder.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

struct ProgramExit {
  int code;
};

[[noreturn]] void throwOnExit(int code) { throw ProgramExit{code}; }

struct Question {
  std::string text;
  std::string caption;
  unsigned style;
};
std::vector<Question> g_questions;
int g_answer = kIdCancel;

int recordQuestion(const char* text, const char* caption, unsigned style) {
  g_questions.push_back(Question{text, caption, style});
  return g_answer;
}

const char* const kMemoryLine = "System Memory    W32/Tarvolinex.Trojan  removed";
const char* const kExpectedRestartQuestion =
    "W32/Tarvolinex.Trojan  found in memory! registry entries created by the worm are removed. "
    "You must restart the computer and run this program to continue scanning.\n\n"
    "Restart the computer now?";

}  // namespace

class MemoryStage : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    g_memoryRestartNeeded = 0;
    setExitHook(throwOnExit);
    g_questions.clear();
    g_answer = kIdCancel;
    bindConfirmBox(recordQuestion);
    g_session.actionCode = kActionDelete;
  }
  void TearDown() override {
    setExitHook(nullptr);
    g_memoryRestartNeeded = 0;
    EXPECT_EQ(simMachine().openKernelHandles, 0);
    EXPECT_EQ(simMachine().openServiceHandles, 0);
    EXPECT_EQ(simMachine().openKeys, 0);
    ScanFixture::TearDown();
  }

  void useVersion(uint32_t platformId, uint32_t major) {
    simMachine().platformId = platformId;
    simMachine().majorVersion = major;
  }
  void infected(const std::string& path) const { writeFile(path, buildInfectedSample(builtInRecord(0))); }
  void clean(const std::string& path) const { writeFile(path, buildCleanSample(38400, 11)); }
  SimProcess& run(uint32_t id, const std::string& path) { return simRunProcess(id, path); }
  SimProcess* processOf(uint32_t id) {
    for (SimProcess& process : simMachine().processes)
      if (process.id == id) return &process;
    return nullptr;
  }
  // Runs the stage, which on the NT family must end the program.
  int stageExitCode() {
    try {
      runMemoryScanStage();
    } catch (const ProgramExit& exit) {
      return exit.code;
    }
    ADD_FAILURE() << "the stage returned instead of ending the program";
    return -1;
  }
  int scanExitCode() {
    std::strcpy(g_session.scanTarget, "!:");
    try {
      runScan();
    } catch (const ProgramExit& exit) {
      return exit.code;
    }
    ADD_FAILURE() << "the scan returned instead of ending the program";
    return -1;
  }
  static bool hasLine(const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  static void addServiceKeys(const std::string& name, const std::vector<int>& sets) {
    for (int set : sets)
      for (const char* suffix : {"", "\\ENUM", "\\SECURITY"})
        simMachine().registry["SYSTEM\\CONTROLSET00" + std::to_string(set) + "\\SERVICES\\" + name + suffix];
  }
  static bool hasServiceKey(const std::string& name) {
    for (const auto& key : simMachine().registry)
      if (key.first.find("\\SERVICES\\" + name) != std::string::npos) return true;
    return false;
  }
};

// --- 9x family ---

TEST_F(MemoryStage, NineXTerminatesRemovesAndGoesOnWithTheDrives) {
  useVersion(1, 4);
  clean("C:\\WINDOWS\\EXPLORER.EXE");
  infected("C:\\WINDOWS\\SYSTEM\\EVIL.EXE");
  infected("C:\\DATA\\COPY.EXE");
  run(1, "C:\\WINDOWS\\EXPLORER.EXE");
  run(2, "C:\\WINDOWS\\SYSTEM\\EVIL.EXE");
  SimRegistryValue value;
  value.name = "Evil";
  std::string data = "C:\\WINDOWS\\SYSTEM\\EVIL.EXE";
  value.data.assign(data.begin(), data.end() + 1);
  simMachine().registry["SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN"].values = {value};

  std::strcpy(g_session.scanTarget, "!:");
  runScan();

  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{2}));
  EXPECT_FALSE(exists("C:\\WINDOWS\\SYSTEM\\EVIL.EXE"));
  EXPECT_FALSE(exists("C:\\DATA\\COPY.EXE")) << "the drives are scanned after the stage";
  EXPECT_TRUE(exists("C:\\WINDOWS\\EXPLORER.EXE"));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "System Registry     W32/Tarvolinex.Trojan removed");
  EXPECT_EQ(lines[1], kMemoryLine);
  EXPECT_EQ(lines[2], "C:\\WINDOWS\\SYSTEM\\EVIL.EXE     W32/Tarvolinex.Trojan  removed");
  EXPECT_EQ(lines[3], "C:\\DATA\\COPY.EXE     W32/Tarvolinex.Bej.Ransom.Trojan removed");
  EXPECT_EQ(lines.back(), "Total files removed\t\t:  2");
  EXPECT_TRUE(hasLine("Total files infected\t\t:  2"));
  EXPECT_TRUE(g_questions.empty());
  EXPECT_EQ(g_session.memoryCheckMode, 0);
  EXPECT_EQ(statuses.back(), "Scanning completed");
}

TEST_F(MemoryStage, NineXActsOnTheFileEvenWhenTerminationFails) {
  useVersion(1, 4);
  infected("C:\\WINDOWS\\SYSTEM\\EVIL.EXE");
  run(2, "C:\\WINDOWS\\SYSTEM\\EVIL.EXE").canTerminate = false;
  runMemoryScanStage();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], kMemoryLine);
  EXPECT_EQ(lines[1], "C:\\WINDOWS\\SYSTEM\\EVIL.EXE     W32/Tarvolinex.Trojan  Unable to remove");
  EXPECT_TRUE(exists("C:\\WINDOWS\\SYSTEM\\EVIL.EXE"));
  EXPECT_EQ(g_session.restartNeeded, 1);
  EXPECT_TRUE(g_questions.empty());
}

// --- Report mode ---

namespace {

// The registry as lines ("KEY" and "KEY\VALUE=data"), to compare whole.
std::vector<std::string> registryDump() {
  std::vector<std::string> dump;
  for (const auto& key : simMachine().registry) {
    dump.push_back(key.first);
    for (const SimRegistryValue& value : key.second.values)
      dump.push_back(key.first + "\\" + value.name + "=" +
                     std::string(value.data.begin(), value.data.end()));
  }
  return dump;
}

void addStringValue(const std::string& key, const std::string& name, const std::string& data) {
  SimRegistryValue value;
  value.name = name;
  value.data.assign(data.begin(), data.end());
  value.data.push_back(0);
  simMachine().registry[key].values.push_back(value);
}

}  // namespace

// A report scan changes nothing on any family: no process ended, no service
// stopped, no registry value or key removed, no file touched. It lists the
// running infected process, the start-up values a delete run would remove and
// every infected file, and on the NT family too it goes on with the drives.
TEST_F(MemoryStage, ReportScanChangesNothingAndListsWhatItFound) {
  const std::string image = "C:\\WINNT\\system32\\svcx.exe";
  const SignatureRecord record = builtInRecord(0);
  const std::string name(record.name, strnlen(record.name, sizeof record.name));
  clean("C:\\WINNT\\explorer.exe");
  infected(image);
  infected("C:\\DATA\\COPY.EXE");
  run(1, "C:\\WINNT\\explorer.exe");
  run(40, image);
  SimService service;
  service.name = "svcx";
  simMachine().services = {service};
  addServiceKeys("SVCX", {1, 2});
  const std::string software = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION";
  addStringValue(software + "\\RUN", "Svcx", image + " -autorun");
  addStringValue(software + "\\RUN", "SMrhcjg7j0e38v", "c:\\winnt\\system32\\rhcjg7j0e38v.exe");
  addStringValue(software + "\\RUNSERVICES", "SvcxService", "svcx.exe");
  addStringValue(software + "\\UNINSTALL\\RHCJG7J0E38V", "UninstallString",
                 "c:\\program files\\rhcjg7j0e38v\\uninstall.exe");
  const std::vector<std::string> registryBefore = registryDump();

  const std::string found = "System Registry     W32/Tarvolinex.Trojan found: HKLM\\";
  const std::string keys = "Software\\Microsoft\\Windows\\CurrentVersion\\";
  const std::string fixedKeys = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
  const std::string left = " not disinfected as per user's selection";
  const std::vector<std::string> expected = {
      found + keys + "Run\\Svcx",
      found + keys + "RunServices\\SvcxService",
      found + fixedKeys + "Uninstall\\rhcjg7j0e38v\\UninstallString",
      found + fixedKeys + "Run\\SMrhcjg7j0e38v",
      "System Memory    W32/Tarvolinex.Trojan  found",
      image + "     " + name + left,
      "C:\\DATA\\COPY.EXE     " + name + left,
      image + "     " + name + left,
      " ",
      "Scanning statistics"};

  struct Family {
    uint32_t platform, major;
    const char* name;
  };
  for (const Family& family : {Family{1, 4, "9x"}, Family{2, 4, "NT 4"}, Family{2, 5, "NT 5"},
                               Family{2, 6, "NT 6"}}) {
    SCOPED_TRACE(family.name);
    resetScanSession();
    g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
    g_session.actionCode = kActionReport;
    lines.clear();
    statuses.clear();
    useVersion(family.platform, family.major);
    std::strcpy(g_session.scanTarget, "!:");
    try {
      runScan();
    } catch (const ProgramExit&) {
      ADD_FAILURE() << "a report scan ended the program";
    }

    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
    EXPECT_EQ(lines.back(), "Total files removed\t\t:  0");
    EXPECT_EQ(statuses.back(), "Scanning completed");

    EXPECT_TRUE(simMachine().terminated.empty());
    EXPECT_TRUE(processOf(40)->running);
    EXPECT_FALSE(simMachine().services[0].stopping);
    EXPECT_EQ(registryDump(), registryBefore);
    EXPECT_TRUE(exists(image));
    EXPECT_TRUE(exists("C:\\DATA\\COPY.EXE"));
    EXPECT_TRUE(simMachine().delayedDeletes.empty());
    EXPECT_TRUE(g_questions.empty());
    EXPECT_TRUE(simMachine().messageBoxes.empty());
    EXPECT_TRUE(simMachine().restartRequests.empty());
    EXPECT_EQ(g_memoryRestartNeeded, 0);
  }
}

// --- NT family: the end of the program ---

TEST_F(MemoryStage, NtEndsTheProgramWithoutQuestionWhenEveryProcessWasTerminated) {
  useVersion(2, 6);
  infected("C:\\Program Files\\Evil\\evil.exe");
  infected("C:\\DATA\\COPY.EXE");
  run(7, "C:\\Program Files\\Evil\\evil.exe");
  EXPECT_EQ(scanExitCode(), 0);
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{7}));
  EXPECT_FALSE(exists("C:\\Program Files\\Evil\\evil.exe"));
  EXPECT_TRUE(exists("C:\\DATA\\COPY.EXE")) << "the drives are left to the next run";
  EXPECT_EQ(lines, (std::vector<std::string>{
                       kMemoryLine, "C:\\Program Files\\Evil\\evil.exe     W32/Tarvolinex.Trojan  removed"}));
  EXPECT_TRUE(g_questions.empty());
  EXPECT_TRUE(simMachine().restartRequests.empty());
}

TEST_F(MemoryStage, NtAsksForRestartWhenAProcessCouldNotBeDealtWith) {
  useVersion(2, 6);
  for (int answer : {kIdOk, kIdCancel}) {
    SCOPED_TRACE(answer);
    simMachine().processes.clear();
    simMachine().restartRequests.clear();
    g_questions.clear();
    g_answer = answer;
    g_memoryRestartNeeded = 1;  // left by an earlier process of this run
    infected("C:\\Program Files\\Evil\\evil.exe");
    run(7, "C:\\Program Files\\Evil\\evil.exe");
    EXPECT_EQ(stageExitCode(), 0);
    ASSERT_EQ(g_questions.size(), 1u);
    EXPECT_EQ(g_questions[0].text, kExpectedRestartQuestion);
    EXPECT_EQ(g_questions[0].caption, "Drenvalisk Ver 1.0");
    EXPECT_EQ(g_questions[0].style, 0x41u);
    EXPECT_EQ(simMachine().restartRequests.size(), answer == kIdOk ? 1u : 0u);
  }
}

TEST_F(MemoryStage, NtEndsTheProgramEvenWhenTheRestartIsRefused) {
  useVersion(2, 5);
  g_answer = kIdOk;
  g_memoryRestartNeeded = 1;
  simMachine().privilegeNotHeld = true;
  infected("C:\\evil.exe");
  run(7, "C:\\evil.exe");
  EXPECT_EQ(stageExitCode(), 0);
  EXPECT_EQ(g_questions.size(), 1u);
  EXPECT_TRUE(simMachine().restartRequests.empty());
}

// --- NT family: termination and the service route ---

TEST_F(MemoryStage, NtFiveStopsTheServiceWhenTheSecondAttemptFindsNoProcess) {
  useVersion(2, 5);
  infected("C:\\WINNT\\system32\\svcx.exe");
  run(40, "C:\\WINNT\\system32\\svcx.exe");
  SimService service;
  service.name = "svcx";
  service.stopPendingMs = 2000;
  simMachine().services = {service};
  addServiceKeys("SVCX", {1, 2});

  EXPECT_EQ(stageExitCode(), 0);
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{40}));
  EXPECT_TRUE(simMachine().services[0].stopping);
  EXPECT_FALSE(hasServiceKey("SVCX"));
  EXPECT_FALSE(exists("C:\\WINNT\\system32\\svcx.exe"));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       kMemoryLine, "C:\\WINNT\\system32\\svcx.exe     W32/Tarvolinex.Trojan  removed"}));
  EXPECT_EQ(g_memoryRestartNeeded, 0);
  EXPECT_TRUE(g_questions.empty());
}

TEST_F(MemoryStage, NtFourWithoutServiceAsksForRestartAndStillRemovesTheFile) {
  useVersion(2, 4);
  infected("C:\\WINNT\\system32\\svcx.exe");
  run(40, "C:\\WINNT\\system32\\svcx.exe");
  addServiceKeys("SVCX", {1});
  EXPECT_EQ(stageExitCode(), 0);
  EXPECT_EQ(g_memoryRestartNeeded, 1);
  EXPECT_FALSE(hasServiceKey("SVCX")) << "the keys go even when no service stopped";
  EXPECT_FALSE(exists("C:\\WINNT\\system32\\svcx.exe"));
  EXPECT_TRUE(hasLine(kMemoryLine));
  ASSERT_EQ(g_questions.size(), 1u);
  EXPECT_EQ(g_questions[0].style, 0x41u);
  EXPECT_TRUE(simMachine().restartRequests.empty());
}

TEST_F(MemoryStage, NtProcessNeitherTerminatedNorStoppedIsNotActedOn) {
  useVersion(2, 5);
  infected("C:\\WINNT\\system32\\svcx.exe");
  run(40, "C:\\WINNT\\system32\\svcx.exe").canOpenForTerminate = false;
  SimService service;
  service.name = "svcx";
  service.acceptsStop = false;
  simMachine().services = {service};
  EXPECT_EQ(stageExitCode(), 0);
  EXPECT_EQ(g_memoryRestartNeeded, 1);
  EXPECT_TRUE(exists("C:\\WINNT\\system32\\svcx.exe"));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(g_questions.size(), 1u);
}

TEST_F(MemoryStage, NtSixDoesNotTryTheServiceRoute) {
  useVersion(2, 6);
  infected("C:\\WINNT\\system32\\svcx.exe");
  run(40, "C:\\WINNT\\system32\\svcx.exe").canOpenForTerminate = false;
  SimService service;
  service.name = "svcx";
  simMachine().services = {service};
  addServiceKeys("SVCX", {1});
  EXPECT_EQ(stageExitCode(), 0);
  EXPECT_FALSE(simMachine().services[0].stopping);
  EXPECT_TRUE(hasServiceKey("SVCX"));
  EXPECT_EQ(g_memoryRestartNeeded, 0);
  EXPECT_TRUE(g_questions.empty());
}

TEST_F(MemoryStage, ImageWithoutExtensionGivesItsWholeNameAsServiceName) {
  useVersion(2, 5);
  infected("C:\\WINNT\\system32\\svcnodot");
  run(40, "C:\\WINNT\\system32\\svcnodot");
  SimService service;
  service.name = "svcnodot";
  simMachine().services = {service};
  addServiceKeys("SVCNODOT", {1});
  EXPECT_EQ(stageExitCode(), 0);
  EXPECT_TRUE(simMachine().services[0].stopping);
  EXPECT_FALSE(hasServiceKey("SVCNODOT"));
  EXPECT_FALSE(exists("C:\\WINNT\\system32\\svcnodot"));
}

// An image named only ".exe" gives no service name: the service route must
// not send its key removal to the Services key itself.
TEST_F(MemoryStage, ImageWithoutServiceNameLeavesTheServicesKeysAlone) {
  useVersion(2, 5);
  infected("C:\\WINNT\\system32\\.exe");
  run(40, "C:\\WINNT\\system32\\.exe").canOpenForTerminate = false;
  SimService other;
  other.name = "Other";
  simMachine().services = {other};
  addServiceKeys("OTHER", {1});
  // The second control set's Services key holds no service, only a value.
  simMachine().registry["SYSTEM\\CONTROLSET002\\SERVICES"].values.push_back(SimRegistryValue{"Note", 1, {0}});

  EXPECT_EQ(stageExitCode(), 0);
  EXPECT_TRUE(simMachine().registry.count("SYSTEM\\CONTROLSET002\\SERVICES"));
  EXPECT_TRUE(simMachine().registry.count("SYSTEM\\CONTROLSET001\\SERVICES\\OTHER\\ENUM"));
  EXPECT_TRUE(hasServiceKey("OTHER"));
  EXPECT_FALSE(simMachine().services[0].stopping);
  EXPECT_TRUE(exists("C:\\WINNT\\system32\\.exe"));
  EXPECT_EQ(g_memoryRestartNeeded, 1) << "the process could be neither ended nor stopped";
  EXPECT_EQ(g_questions.size(), 1u);
}

TEST(ServiceNameOfImage, FileNameWithoutFolderAndLastExtension) {
  char name[260];
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\WINNT\\system32\\abcd.exe", "abcd"}, {"C:\\a.b\\abcd", "abcd"},
      {"C:\\x\\abcd.tar.exe", "abcd.tar"},       {"abcd.exe", "abcd"},
      {"abcd", "abcd"},                          {"C:\\x\\.exe", ""},
      {"C:\\x\\", ""}};
  for (const auto& c : cases) {
    serviceNameOfImage(c.first, name);
    EXPECT_STREQ(name, c.second) << c.first;
  }
}

// --- NT family: listing ---

TEST_F(MemoryStage, RefusedOpenIsRetriedWithTheDebugPrivilege) {
  useVersion(2, 5);
  infected("C:\\WINNT\\evil.exe");
  run(40, "C:\\WINNT\\evil.exe").queryNeedsDebugPrivilege = true;
  EXPECT_EQ(scanProcessesNt(), 1);
  EXPECT_EQ(simMachine().enabledPrivileges, (std::vector<std::string>{"SeDebugPrivilege"}));
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{40}));
  EXPECT_TRUE(simMachine().messageBoxes.empty());
}

TEST_F(MemoryStage, TokenThatCannotBeOpenedIsAnnouncedForEveryRefusedProcess) {
  useVersion(2, 5);
  infected("C:\\WINNT\\evil.exe");
  run(40, "C:\\WINNT\\evil.exe").queryNeedsDebugPrivilege = true;
  run(41, "C:\\WINNT\\evil.exe").queryNeedsDebugPrivilege = true;
  simMachine().tokenOpenFails = true;
  EXPECT_EQ(scanProcessesNt(), 0);
  ASSERT_EQ(simMachine().messageBoxes.size(), 2u);
  EXPECT_EQ(simMachine().messageBoxes[1].text, "false");
  EXPECT_EQ(simMachine().messageBoxes[1].caption, "TEMP");
  EXPECT_EQ(simMachine().messageBoxes[1].style, 0u);
  EXPECT_TRUE(simMachine().terminated.empty());
}

TEST_F(MemoryStage, UnreadableImageAfterAnInfectedOneIsNeverInfected) {
  useVersion(2, 6);
  infected("C:\\WINNT\\evil.exe");
  run(40, "C:\\WINNT\\evil.exe").canOpenForTerminate = false;  // no re-walk follows
  run(41, "C:\\gone\\other.exe");                               // its image cannot be read
  EXPECT_EQ(scanProcessesNt(), 1);
  EXPECT_TRUE(simMachine().terminated.empty());
  EXPECT_TRUE(processOf(41)->running);
  EXPECT_EQ(g_session.filesInfected, 1);
}

TEST_F(MemoryStage, WithoutInfectedProcessTheDriveWalkFollows) {
  useVersion(2, 5);
  clean("C:\\WINNT\\explorer.exe");
  infected("C:\\DATA\\COPY.EXE");
  run(1, "C:\\WINNT\\explorer.exe");
  run(2, "C:\\gone\\missing.exe");
  std::strcpy(g_session.scanTarget, "!:");
  runScan();
  EXPECT_TRUE(simMachine().terminated.empty());
  EXPECT_EQ(g_session.memoryCheckMode, 0);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "C:\\DATA\\COPY.EXE     W32/Tarvolinex.Bej.Ransom.Trojan removed");
  EXPECT_EQ(statuses.back(), "Scanning completed");
  EXPECT_TRUE(g_questions.empty());
}

TEST_F(MemoryStage, UnavailableListingEndsQuietly) {
  infected("C:\\WINNT\\evil.exe");
  run(40, "C:\\WINNT\\evil.exe");

  useVersion(1, 4);
  simMachine().snapshotFails = true;
  runMemoryScanStage();
  EXPECT_EQ(g_session.memoryCheckMode, 0);
  simMachine().snapshotFails = false;
  simMachine().missingLibraries = {"kernel32.dll"};
  runMemoryScanStage();

  useVersion(2, 5);
  simMachine().missingLibraries = {"psapi.dll"};
  runMemoryScanStage();
  simMachine().missingLibraries.clear();
  simMachine().missingFunctions = {"GetModuleFileNameExA"};
  runMemoryScanStage();

  useVersion(0, 0);  // another platform lists nothing
  simMachine().missingFunctions.clear();
  runMemoryScanStage();

  EXPECT_EQ(g_session.memoryCheckMode, 0);
  EXPECT_EQ(g_session.filesInfected, 0);
  EXPECT_TRUE(simMachine().terminated.empty());
  EXPECT_TRUE(lines.empty());
}

TEST_F(MemoryStage, OnlyTheFirst1024ProcessesAreExamined) {
  useVersion(2, 5);
  infected("C:\\WINNT\\first.exe");
  infected("C:\\WINNT\\late.exe");
  for (uint32_t id = 1; id <= 1023; ++id) run(id, "C:\\WINNT\\hidden.exe").canOpenForQuery = false;
  run(1024, "C:\\WINNT\\first.exe");
  run(1025, "C:\\WINNT\\late.exe");
  EXPECT_EQ(scanProcessesNt(), 1);
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{1024}));
  EXPECT_TRUE(exists("C:\\WINNT\\late.exe"));
  EXPECT_FALSE(exists("C:\\WINNT\\first.exe"));
}

// A folder beside the running image that shares its name's stem (evil.old
// beside evil.exe) is no reason to judge the process clean, nor to act on the
// folder's entries as if each were the image.
TEST_F(MemoryStage, FolderBesideTheImageWithTheSameStemChangesNothing) {
  for (uint32_t platform : {1u, 2u}) {
    SCOPED_TRACE(platform == 1 ? "9x family" : "NT family");
    resetScanSession();
    g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
    g_session.actionCode = kActionDelete;
    lines.clear();
    simMachine().processes.clear();
    simMachine().terminated.clear();
    useVersion(platform, platform == 1 ? 4 : 5);
    infected("C:\\WINNT\\evil.exe");
    writeText("C:\\WINNT\\evil.old\\readme.txt", "r");
    writeText("C:\\WINNT\\evil.old\\deeper\\notes.txt", "n");
    run(9, "C:\\WINNT\\evil.exe");

    if (platform == 2) {
      EXPECT_EQ(scanExitCode(), 0) << "the trojan found running ends the run";
    } else {
      std::strcpy(g_session.scanTarget, "!:");
      runScan();
    }

    EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{9}));
    EXPECT_FALSE(exists("C:\\WINNT\\evil.exe"));
    EXPECT_TRUE(exists("C:\\WINNT\\evil.old\\readme.txt"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(kMemoryLine)), 1);
    EXPECT_TRUE(hasLine("C:\\WINNT\\evil.exe     W32/Tarvolinex.Trojan  removed"));
    if (platform == 1) {
      EXPECT_TRUE(hasLine("Total files infected\t\t:  1"));
    }
  }
}

// Escape answered Yes while the stage examines a running trojan's file: the
// scan stops there, on either family. The process keeps running, its file
// stays, the program is not ended, and the statistics close the report with
// "Scanning terminated".
TEST_F(MemoryStage, AStopConfirmedDuringTheExaminationActsOnNothing) {
  static std::string image;
  for (uint32_t platform : {1u, 2u}) {
    SCOPED_TRACE(platform == 1 ? "9x family" : "NT family");
    resetScanSession();
    simMachine().processes.clear();
    lines.clear();
    statuses.clear();
    g_questions.clear();
    g_session.actionCode = kActionDelete;
    useVersion(platform, platform == 1 ? 4 : 5);
    image = platform == 1 ? "C:\\WINDOWS\\SYSTEM\\EVIL.EXE" : "C:\\WINNT\\evil.exe";
    infected(image);
    run(7, image);
    g_answer = kIdYes;
    bindReportChannel(ReportSink{[](const char* line) { lines.push_back(line); },
                                 [](const char* text) {
                                   statuses.push_back(text);
                                   if (text == image)
                                     simMachine().messageQueue.push_back(
                                         Message{nullptr, kMsgKeyDown, kVkEscape, 0});
                                 }});
    std::strcpy(g_session.scanTarget, "!:");
    EXPECT_NO_THROW(runScan());

    ASSERT_EQ(g_questions.size(), 1u);
    EXPECT_EQ(g_questions[0].text, "Terminate the Scan now?");
    EXPECT_TRUE(simMachine().terminated.empty());
    EXPECT_TRUE(processOf(7)->running);
    EXPECT_TRUE(exists(image));
    EXPECT_FALSE(hasLine(kMemoryLine));
    EXPECT_EQ(lines.back(), "Total files removed\t\t:  0");
    EXPECT_EQ(statuses.back(), "Scanning terminated");
  }
}
