// Terminating the processes that run a file: the method each Windows
// generation uses, how strictly each one matches, how many processes it
// terminates, and when the user is told that nothing could be terminated.
#include "memory/process_kill.h"

#include <algorithm>
#include <string>
#include <vector>

#include "tests/sim/sim_machine.h"
#include "tests/support/perf_data_builder.h"
#include "tests/support/scan_fixture.h"

using namespace perftest;

namespace {

SimProcess process(uint32_t id, const std::string& imagePath) {
  SimProcess p;
  p.id = id;
  p.imagePath = imagePath;
  return p;
}

long pausesOf(uint32_t milliseconds) {
  const auto& pauses = simMachine().pauses;
  return std::count(pauses.begin(), pauses.end(), milliseconds);
}

}  // namespace

class ProcessKill : public ScanFixture {
 protected:
  void useVersion(uint32_t platformId, uint32_t major) {
    simMachine().platformId = platformId;
    simMachine().majorVersion = major;
  }
  void expectNoMessage() { EXPECT_TRUE(simMachine().messageBoxes.empty()); }
  void expectCouldNotKill(const std::string& path) {
    ASSERT_EQ(simMachine().messageBoxes.size(), 1u);
    EXPECT_EQ(simMachine().messageBoxes[0].text, "Could not kill process");
    EXPECT_EQ(simMachine().messageBoxes[0].caption, path);
    EXPECT_EQ(simMachine().messageBoxes[0].style, 0u);
  }
  void TearDown() override {
    EXPECT_EQ(simMachine().openKernelHandles, 0);
    EXPECT_EQ(simMachine().openKeys, 0);
    ScanFixture::TearDown();
  }
};

// --- 9x family: tool-help snapshot, file name only, first match only ---

TEST_F(ProcessKill, NineXTerminatesOnlyTheFirstProcessOfThatFileName) {
  useVersion(1, 4);
  SimMachine& sim = simMachine();
  sim.processes = {process(5, "C:\\A\\EVIL.EXE"), process(6, "C:\\B\\evil.exe"),
                   process(7, "C:\\WINDOWS\\EXPLORER.EXE")};
  EXPECT_EQ(killProcessByPath("C:\\Elsewhere\\Evil.Exe"), 1);
  EXPECT_EQ(sim.terminated, (std::vector<uint32_t>{5}));
  EXPECT_TRUE(sim.processes[1].running);
  expectNoMessage();
  EXPECT_EQ(pausesOf(500), 1);
}

TEST_F(ProcessKill, NineXComparesTheWholeFileName) {
  useVersion(1, 4);
  SimMachine& sim = simMachine();
  sim.processes = {process(5, "C:\\A\\NOTEVIL.EXE"), process(6, "C:\\A\\EVIL.EXE.BAK"),
                   process(7, "EVIL.EXE")};
  EXPECT_EQ(killProcessByPath("C:\\A\\evil.exe"), 1);
  EXPECT_EQ(sim.terminated, (std::vector<uint32_t>{7})) << "an entry without folder is its own name";
}

TEST_F(ProcessKill, NineXFailuresShowTheMessageWithThePathAsCaption) {
  useVersion(1, 4);
  SimMachine& sim = simMachine();
  const std::string path = "C:\\WINDOWS\\SYSTEM\\EVIL.EXE";

  // No process runs the file.
  sim.processes = {process(5, "C:\\WINDOWS\\EXPLORER.EXE")};
  EXPECT_EQ(killProcessByPath(path.c_str()), 0);
  expectCouldNotKill(path);

  // The first match refuses termination; a later, willing one is not tried.
  sim.messageBoxes.clear();
  sim.processes = {process(5, path), process(6, path)};
  sim.processes[0].canTerminate = false;
  EXPECT_EQ(killProcessByPath(path.c_str()), 0);
  expectCouldNotKill(path);
  EXPECT_TRUE(sim.terminated.empty());

  // The tool-help functions are missing.
  sim.messageBoxes.clear();
  sim.missingFunctions = {"Process32Next"};
  sim.processes = {process(5, "C:\\WINDOWS\\EXPLORER.EXE"), process(6, path)};
  EXPECT_EQ(killProcessByPath(path.c_str()), 0);
  expectCouldNotKill(path);
  sim.messageBoxes.clear();
  sim.missingFunctions.clear();
  sim.snapshotFails = true;
  EXPECT_EQ(killProcessByPath(path.c_str()), 0);
  expectCouldNotKill(path);
  EXPECT_TRUE(sim.terminated.empty());
}

// --- NT 5.x: process-status library, full path ---

TEST_F(ProcessKill, NtFiveTerminatesEveryProcessOfTheSamePathIgnoringCase) {
  useVersion(2, 5);
  SimMachine& sim = simMachine();
  sim.processes = {process(10, "C:\\Program Files\\Evil\\x.exe"),
                   process(11, "C:\\Other\\x.exe"),
                   process(12, "c:\\program files\\evil\\X.EXE")};
  EXPECT_EQ(killProcessByPath("C:\\PROGRAM FILES\\EVIL\\X.EXE"), 1);
  EXPECT_EQ(sim.terminated, (std::vector<uint32_t>{10, 12}));
  EXPECT_EQ(pausesOf(500), 2);
  expectNoMessage();
}

TEST_F(ProcessKill, NtFiveAnswersOneEvenWhenNothingMatchedAndNeverShowsTheMessage) {
  useVersion(2, 5);
  SimMachine& sim = simMachine();
  sim.processes = {process(10, "C:\\Program Files\\Evil\\x.exe")};
  // The short form of the same file is a different text.
  EXPECT_EQ(killProcessByPath("C:\\PROGRA~1\\Evil\\x.exe"), 1);
  EXPECT_TRUE(sim.terminated.empty());

  sim.processes[0].canTerminate = false;
  EXPECT_EQ(killProcessByPath("C:\\Program Files\\Evil\\x.exe"), 1);
  EXPECT_TRUE(sim.terminated.empty());
  expectNoMessage();

  // Only an unavailable process list makes it fail, still without the message.
  sim.missingLibraries = {"psapi.dll"};
  EXPECT_EQ(killProcessByPath("C:\\Program Files\\Evil\\x.exe"), 0);
  sim.missingLibraries.clear();
  sim.missingFunctions = {"GetModuleFileNameExA"};
  EXPECT_EQ(killProcessByPath("C:\\Program Files\\Evil\\x.exe"), 0);
  expectNoMessage();
}

// --- NT 4 and NT 6 and later: performance data, base-name prefix ---

class PerfDataKill : public ProcessKill {
 protected:
  void SetUp() override {
    ProcessKill::SetUp();
    useVersion(2, 4);
  }
  // Instances and simulated processes of the same ids.
  void install(const std::vector<Instance>& instances) {
    ProcessObject objectLayout;
    objectLayout.instances = instances;
    installPerformanceData(simMachine(), objectLayout);
    for (const Instance& instance : instances)
      if (instance.processId)
        simMachine().processes.push_back(process(instance.processId, "C:\\run\\" + instance.name + ".exe"));
  }
};

TEST_F(PerfDataKill, EveryInstanceBeginningWithTheBaseNameIsTerminated) {
  install({{"Idle", 0}, {"abcde", 100}, {"xabcde", 101}, {"ABCDEF", 102}, {"abcd", 103}});
  EXPECT_EQ(killProcessByPath("C:\\DIR\\ABCDE.EXE"), 1);
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{100, 102}));
  EXPECT_EQ(pausesOf(500), 2);
  EXPECT_EQ(simMachine().pauses.size(), 2u);
  expectNoMessage();
}

TEST_F(PerfDataKill, PauseFollowsEveryMatchEvenWhenItCannotBeOpened) {
  install({{"abcde", 100}, {"abcde", 101}});
  simMachine().processes[0].canOpenForTerminate = false;
  simMachine().processes[1].canTerminate = false;
  EXPECT_EQ(killProcessByPath("C:\\DIR\\ABCDE.EXE"), 0);
  EXPECT_EQ(pausesOf(500), 2);
  expectCouldNotKill("C:\\DIR\\ABCDE.EXE");
}

TEST_F(PerfDataKill, NtSixAndLaterUseThePerformanceData) {
  useVersion(2, 6);
  install({{"abcdef", 100}});
  // The image path differs from the file's: only the name-prefix method finds it.
  EXPECT_EQ(killProcessByPath("D:\\copy\\abcde.exe"), 1);
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{100}));
  EXPECT_FALSE(simMachine().performanceQuerySizes.empty());
}

TEST_F(PerfDataKill, LargeAnswerIsReadAfterGrowingTheBuffer) {
  ProcessObject objectLayout;
  objectLayout.instances = {{"abcde", 100}};
  objectLayout.trailingBytes = 80000;  // about 80 KB in all
  installPerformanceData(simMachine(), objectLayout);
  simMachine().processes.push_back(process(100, "C:\\DIR\\ABCDE.EXE"));
  ASSERT_GT(simMachine().performanceData.size(), 51200u + 25600u);
  ASSERT_LE(simMachine().performanceData.size(), 51200u + 2 * 25600u);
  EXPECT_EQ(killProcessByPath("C:\\DIR\\ABCDE.EXE"), 1);
  EXPECT_EQ(simMachine().performanceQuerySizes, (std::vector<uint32_t>{51200, 76800, 102400}));
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{100}));
}

TEST_F(PerfDataKill, LongInstanceNamesNeverMatch) {
  install({{"abcdefghijklmnop", 100}, {"abcdefghijklmnopq", 101}, {"abcdefghijklmnopqrst", 102}});
  EXPECT_EQ(killProcessByPath("C:\\DIR\\ABCDEFGHIJKLMNOP.EXE"), 1);
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{100}));

  simMachine().messageBoxes.clear();
  EXPECT_EQ(killProcessByPath("C:\\DIR\\ABCDEFGHIJKLMNOPQ.EXE"), 0);
  expectCouldNotKill("C:\\DIR\\ABCDEFGHIJKLMNOPQ.EXE");
  EXPECT_EQ(simMachine().terminated.size(), 1u);
}

TEST_F(PerfDataKill, ShortPathsAndEmptyBaseNamesTerminateNothing) {
  install({{"a", 100}, {"abcde", 101}, {"explorer", 102}});
  for (const char* path : {"A.EX", "ABCD", "", "C:\\.exe", ".exe", "C:\\DIR\\.TXT"}) {
    simMachine().messageBoxes.clear();
    EXPECT_EQ(killProcessByPath(path), 0) << path;
    expectCouldNotKill(path);
  }
  EXPECT_TRUE(simMachine().terminated.empty());
  // A five-character path leaves a one-character base name.
  EXPECT_EQ(killProcessByPath("A.EXE"), 1);
  EXPECT_EQ(simMachine().terminated, (std::vector<uint32_t>{100, 101}));
}

TEST_F(PerfDataKill, UnusableDataTerminatesNothingAndShowsTheMessage) {
  const char* path = "C:\\DIR\\ABCDE.EXE";
  ProcessObject negative;
  negative.instances = {{"abcde", 100}};
  negative.overrideInstanceCount = true;
  negative.instanceCount = -1;
  installPerformanceData(simMachine(), negative);
  simMachine().processes.push_back(process(100, path));
  EXPECT_EQ(killProcessByPath(path), 0);
  expectCouldNotKill(path);

  ProcessObject noIdCounter;
  noIdCounter.instances = {{"abcde", 100}};
  noIdCounter.counters = {{kProcessorTimeCounter, 8}};
  installPerformanceData(simMachine(), noIdCounter);
  simMachine().messageBoxes.clear();
  EXPECT_EQ(killProcessByPath(path), 0);
  expectCouldNotKill(path);

  ProcessObject outside;
  outside.instances = {{"abcde", 100}};
  installPerformanceData(simMachine(), outside);
  put32(simMachine().performanceData, 24, 0x7FFFFFF0u);  // the object beyond the answer
  simMachine().messageBoxes.clear();
  EXPECT_EQ(killProcessByPath(path), 0);
  expectCouldNotKill(path);

  simMachine().registry.clear();  // no counter names at all
  simMachine().messageBoxes.clear();
  EXPECT_EQ(killProcessByPath(path), 0);
  expectCouldNotKill(path);
  EXPECT_TRUE(simMachine().terminated.empty());
}

// --- Other platforms ---

TEST_F(ProcessKill, OtherPlatformsAnswerOneWithoutDoingAnything) {
  SimMachine& sim = simMachine();
  sim.processes = {process(5, "C:\\A\\EVIL.EXE")};
  for (uint32_t platformId : {0u, 3u}) {
    useVersion(platformId, 5);
    EXPECT_EQ(killProcessByPath("C:\\A\\EVIL.EXE"), 1);
  }
  sim.versionFails = true;
  EXPECT_EQ(killProcessByPath("C:\\A\\EVIL.EXE"), 1);
  EXPECT_TRUE(sim.terminated.empty());
  EXPECT_TRUE(sim.pauses.empty());
  expectNoMessage();
}
