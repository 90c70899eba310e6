// The memory stage against a real running process: a copy of the sleeper,
// rewritten to carry the patterns of the first shipped record it can fit (in
// its pad section, behind a jump to its own entry point) at that record's
// exact size, runs from a folder of the scratch area while a scan with the
// delete action starts: in this process, and through the console front end
// started as a child process.
#include <windows.h>

#include <cstring>
#include <sstream>

#include "engine/pe_matcher.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "memory/memory_stage.h"
#include "platform/system.h"
#include "samples/pe_builder.h"
#include "samples/runnable_sample.h"
#include "tests/win32/support/wine_fixture.h"

namespace {

constexpr const char* kMemoryLine = "System Memory    W32/Tarvolinex.Trojan  removed";
constexpr const char* kImageName = "tsleeper.exe";

// Thrown by the exit hook: the stage's end of the program unwinds to the test.
struct ProgramExit {
  int code;
};

HANDLE g_child = nullptr;

bool isNtFamily() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string besideThisProgram(const char* name) {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string folder(self, length);
  return folder.substr(0, folder.rfind('\\') + 1) + name;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.push_back(line);
  }
  return result;
}

// Index of `line` in `lines`, or -1.
int indexOf(const std::vector<std::string>& lines, const std::string& line) {
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i] == line) return static_cast<int>(i);
  return -1;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n  " + line;
  return text;
}

// What a run of the console front end left behind.
struct ScannerRun {
  DWORD exitCode = 0;
  std::vector<std::string> out;
  std::vector<std::string> err;
};

}  // namespace

class MemoryStage : public WineScanFixture {
 protected:
  void SetUp() override {
    WineScanFixture::SetUp();
    g_memoryRestartNeeded = 0;
    setExitHook([](int code) { throw ProgramExit{code}; });
    // The matcher's pause after a termination waits for the process to be
    // gone instead, so the file it then deletes is no longer in use.
    setSleepHook([](uint32_t) {
      if (g_child) WaitForSingleObject(g_child, 10000);
    });
    folder_ = path("mem");
    image_ = folder_ + "\\" + kImageName;
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
    ASSERT_NO_FATAL_FAILURE(writeRunnableSleeper());
  }
  void TearDown() override {
    if (g_child) {
      TerminateProcess(g_child, 1);
      WaitForSingleObject(g_child, 10000);
      CloseHandle(g_child);
      g_child = nullptr;
    }
    setExitHook(nullptr);
    g_memoryRestartNeeded = 0;
    WineScanFixture::TearDown();
  }

  void writeRunnableSleeper() {
    std::string exe = readWholeFile(besideThisProgram("sleeper.exe"));
    ASSERT_GT(exe.size(), 1024u) << "sleeper.exe not found beside the test executable";
    std::vector<uint8_t> sample;
    int index = firstRunnableRecord(std::vector<uint8_t>(exe.begin(), exe.end()),
                                    signatureTable(), &sample);
    ASSERT_GE(index, 0) << "no shipped record fits the sleeper's pad section";
    const SignatureRecord& record = signatureTable()[index];
    recordName_.assign(record.name, strnlen(record.name, sizeof record.name));
    ASSERT_TRUE(writeHostFile(image_, sample)) << image_;
  }

  // Starts the sample and waits until its own code runs (it sets an event).
  void startSleeper() {
    const std::string event = "drvtest-sleeper-" + std::to_string(GetCurrentProcessId());
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    ASSERT_TRUE(started) << GetLastError();
    std::string commandLine = "\"" + image_ + "\" 60000 " + event;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL created = CreateProcessA(image_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                  nullptr, "C:\\", &startup, &process);
    DWORD error = GetLastError();
    if (created) {
      CloseHandle(process.hThread);
      g_child = process.hProcess;
    }
    HANDLE waits[2] = {started, g_child};
    DWORD woke = created ? WaitForMultipleObjects(2, waits, FALSE, 10000) : WAIT_FAILED;
    CloseHandle(started);
    ASSERT_TRUE(created) << "the rewritten sleeper does not start: error " << error;
    ASSERT_EQ(woke, WAIT_OBJECT_0) << "the rewritten sleeper never reached its own code";
  }

  // Runs the console front end with `arguments`, from the sample's folder
  // (see Win9x below), its output and status caught in files beside it.
  void runScanner(const std::string& arguments, ScannerRun* run) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    const std::string outPath = path("scan-out.txt"), errPath = path("scan-err.txt");
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE in = CreateFileA("NUL", GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    ASSERT_NE(err, INVALID_HANDLE_VALUE);
    const std::string scanner = besideThisProgram("drenvalisk-scan.exe");
    std::string commandLine = "\"" + scanner + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    BOOL created = CreateProcessA(scanner.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0,
                                  nullptr, folder_.c_str(), &startup, &process);
    DWORD error = GetLastError();
    CloseHandle(out);
    CloseHandle(err);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    ASSERT_TRUE(created) << scanner << ": error " << error;
    CloseHandle(process.hThread);
    DWORD waited = WaitForSingleObject(process.hProcess, 60000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &run->exitCode);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the scanner did not end";
    run->out = splitLines(readWholeFile(outPath));
    run->err = splitLines(readWholeFile(errPath));
  }

  // Runs the scan; true when the program was ended through the exit hook.
  bool scanUntilExit(int actionCode) {
    try {
      scan(actionCode, folder_);
    } catch (const ProgramExit& exit) {
      EXPECT_EQ(exit.code, 0);
      return true;
    }
    return false;
  }

  bool childEnded() const { return g_child && WaitForSingleObject(g_child, 10000) == WAIT_OBJECT_0; }
  bool imageExists() const { return GetFileAttributesA(image_.c_str()) != INVALID_FILE_ATTRIBUTES; }
  bool hasLine(const std::string& line) const { return indexOf(lines, line) >= 0; }

  std::string folder_;      // the folder scanned, holding the sample
  std::string image_;       // the sample's full path
  std::string recordName_;  // the shipped record it carries
};

// The sample, running, is the record's file as far as the matcher can tell.
TEST_F(MemoryStage, RewrittenSleeperRunsAndMatchesItsShippedRecord) {
  ASSERT_NO_FATAL_FAILURE(startSleeper());
  g_session.memoryCheckMode = 1;
  EXPECT_EQ(matchSignatureFile(kTrojanCheckName, image_.c_str()), 1);
  EXPECT_STREQ(g_session.detectionName, recordName_.c_str());
  EXPECT_EQ(WaitForSingleObject(g_child, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "it keeps running";
}

TEST_F(MemoryStage, NtEndsTheProgramAfterRemovingTheRunningTrojan) {
  if (!isNtFamily()) GTEST_SKIP() << "the NT family's stage";
  ASSERT_NO_FATAL_FAILURE(startSleeper());
  EXPECT_TRUE(scanUntilExit(kActionDelete)) << "the drives are left to the next run";

  EXPECT_TRUE(childEnded());
  EXPECT_FALSE(imageExists());
  // The re-walk acts under the file check's own detection name.
  const std::string removed = image_ + "     " + kTrojanCheckName + " removed";
  ASSERT_TRUE(hasLine(kMemoryLine)) << joined(lines);
  ASSERT_TRUE(hasLine(removed)) << joined(lines);
  EXPECT_FALSE(hasLine("Scanning statistics"));
  EXPECT_EQ(g_session.filesInfected, 1);
  EXPECT_EQ(g_session.filesRemoved, 1);
  EXPECT_TRUE(questions.empty()) << joined(questions);
}

TEST_F(MemoryStage, Win9xGoesOnWithTheFolderAfterRemovingTheRunningTrojan) {
  if (isNtFamily()) GTEST_SKIP() << "the 9x family's stage";
  ASSERT_NO_FATAL_FAILURE(startSleeper());
  // Wine's tool-help listing names each process by its file name alone
  // (where Windows 9x gives the full path), and the stage examines that name
  // in the current folder: the scan runs from the sleeper's folder.
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  bool exited = scanUntilExit(kActionDelete);
  SetCurrentDirectoryA(saved);
  EXPECT_FALSE(exited);

  EXPECT_TRUE(childEnded());
  EXPECT_FALSE(imageExists());
  ASSERT_TRUE(hasLine(kMemoryLine)) << joined(lines);
  EXPECT_TRUE(hasLine(std::string(kImageName) + "     " + kTrojanCheckName + " removed"))
      << joined(lines);
  EXPECT_TRUE(hasLine("Scanning statistics"));
  EXPECT_TRUE(hasLine("Total files removed\t\t:  1"));
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(statuses.back(), "Scanning completed");
}

// Nothing infected is running: the stage hands over to the folder walk, which
// finds the file on disk under its record's name.
TEST_F(MemoryStage, WithNothingRunningTheFolderIsScanned) {
  EXPECT_FALSE(scanUntilExit(kActionDelete));
  EXPECT_EQ(g_session.memoryCheckMode, 0);
  EXPECT_FALSE(imageExists());
  EXPECT_FALSE(hasLine(kMemoryLine));
  EXPECT_TRUE(hasLine(image_ + "     " + recordName_ + " removed")) << joined(lines);
  EXPECT_TRUE(hasLine("Total files removed\t\t:  1"));
}

// The console front end, a separate process, finds the running sample, ends
// it and deletes its file. On the NT family it stops after the memory stage;
// on Windows 9x it goes on with the folder.
TEST_F(MemoryStage, ConsoleScannerRemovesTheRunningTrojan) {
  ASSERT_NO_FATAL_FAILURE(startSleeper());
  ScannerRun run;
  ASSERT_NO_FATAL_FAILURE(runScanner("--action delete --no \"" + folder_ + "\"", &run));
  const std::string report = "stdout:" + joined(run.out) + "\nstderr:" + joined(run.err);

  EXPECT_TRUE(childEnded()) << report;
  EXPECT_FALSE(imageExists()) << report;
  EXPECT_EQ(run.exitCode, 1u) << report;
  // Wine's 9x tool-help names the process by file name alone (see above).
  const std::string removed = (isNtFamily() ? image_ : std::string(kImageName)) + "     " +
                              kTrojanCheckName + " removed";
  const int memoryLine = indexOf(run.out, kMemoryLine);
  ASSERT_GE(memoryLine, 0) << report;
  EXPECT_EQ(indexOf(run.out, removed), memoryLine + 1) << report;
  ASSERT_FALSE(run.err.empty());
  if (isNtFamily()) {
    EXPECT_EQ(indexOf(run.out, "Scanning statistics"), -1) << report;
    EXPECT_EQ(run.err.back(), "Scanning terminated") << report;
  } else {
    EXPECT_GE(indexOf(run.out, "Scanning statistics"), 0) << report;
    EXPECT_GE(indexOf(run.out, "Total files removed\t\t:  1"), 0) << report;
    EXPECT_EQ(run.err.back(), "Scanning completed") << report;
  }
}
