// The memory stage against a real running process: a copy of the sleeper,
// padded to the exact size of a test signature record whose two patterns are
// the copy's own bytes near its entry point, runs from the scratch folder
// while a scan with the delete action starts.
#include <windows.h>

#include <cstring>

#include "engine/pe_matcher.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "memory/memory_stage.h"
#include "platform/file_io.h"
#include "platform/system.h"
#include "tests/win32/support/wine_fixture.h"

namespace {

constexpr const char* kRecordName = "W32/TestSleeper";
constexpr const char* kMemoryLine = "System Memory    W32/Tarvolinex.Trojan  removed";

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

uint32_t load32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

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
    ASSERT_NO_FATAL_FAILURE(writeInfectedSleeper());
  }
  void TearDown() override {
    if (g_child) {
      TerminateProcess(g_child, 1);
      WaitForSingleObject(g_child, 10000);
      CloseHandle(g_child);
      g_child = nullptr;
    }
    useSignatureTable(nullptr);
    setExitHook(nullptr);
    g_memoryRestartNeeded = 0;
    WineScanFixture::TearDown();
  }

  // The sleeper's bytes padded with zeros to a size of its own, and a record
  // that accepts exactly that file.
  void writeInfectedSleeper() {
    std::string bytes = readWholeFile(besideThisProgram("sleeper.exe"));
    ASSERT_GT(bytes.size(), 1024u) << "sleeper.exe not found beside the test executable";
    bytes.resize((bytes.size() + 4095) / 4096 * 4096 + 777, '\0');
    const std::string image = path("tsleeper.exe");
    writeWholeFile(image, bytes);

    std::memset(records_, 0, sizeof records_);
    SignatureRecord& record = records_[0];
    std::strcpy(record.name, kRecordName);
    record.firstOffset = 0;
    record.secondOffset = 0x30;
    record.fileSize = static_cast<int32_t>(bytes.size());
    record.sizeRule = 1;
    FileDescriptor file(fileOpen(image.c_str(), kOpenReadBinary));
    ASSERT_TRUE(file.valid());
    PeLayout layout;
    ASSERT_EQ(readPeLayout(file.get(), static_cast<long>(bytes.size()), &layout), 1);
    uint32_t entryPoint = load32(layout.optionalHeader + 16);
    uint32_t first = rvaToFilePosition(entryPoint + record.firstOffset, layout);
    uint32_t second = rvaToFilePosition(entryPoint + record.secondOffset, layout);
    ASSERT_LE(first + 20, bytes.size());
    ASSERT_LE(second + 20, bytes.size());
    std::memcpy(record.firstPattern, bytes.data() + first, 20);
    std::memcpy(record.secondPattern, bytes.data() + second, 20);
    useSignatureTable(records_);
  }

  void startSleeper() {
    std::string image = path("tsleeper.exe");
    std::string commandLine = "\"" + image + "\" 60000";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(image.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               "C:\\", &startup, &process))
        << GetLastError();
    CloseHandle(process.hThread);
    g_child = process.hProcess;
    // Listed only once it has started: wait until it idles in its pause.
    WaitForInputIdle(g_child, 5000);
  }

  // Runs the scan; true when the program was ended through the exit hook.
  bool scanUntilExit(int actionCode) {
    try {
      scan(actionCode);
    } catch (const ProgramExit& exit) {
      EXPECT_EQ(exit.code, 0);
      return true;
    }
    return false;
  }

  std::string allLines() const {
    std::string joined;
    for (const std::string& line : lines) joined += "\n  " + line;
    return joined;
  }
  bool childEnded() const { return g_child && WaitForSingleObject(g_child, 0) == WAIT_OBJECT_0; }
  bool hasLine(const std::string& line) const {
    for (const std::string& each : lines)
      if (each == line) return true;
    return false;
  }

  SignatureRecord records_[2];
};

TEST_F(MemoryStage, NtEndsTheProgramAfterRemovingTheRunningTrojan) {
  if (!isNtFamily()) GTEST_SKIP() << "the NT family's stage";
  ASSERT_NO_FATAL_FAILURE(startSleeper());
  EXPECT_TRUE(scanUntilExit(kActionDelete)) << "the drives are left to the next run";

  EXPECT_TRUE(childEnded());
  EXPECT_FALSE(exists("tsleeper.exe"));
  // The re-walk acts under the file check's own detection name.
  const std::string removed = path("tsleeper.exe") + "     " + kTrojanCheckName + " removed";
  ASSERT_TRUE(hasLine(kMemoryLine)) << allLines();
  ASSERT_TRUE(hasLine(removed)) << allLines();
  EXPECT_FALSE(hasLine("Scanning statistics"));
  EXPECT_EQ(g_session.filesInfected, 1);
  EXPECT_EQ(g_session.filesRemoved, 1);
  std::string asked;
  for (const std::string& question : questions) asked += question + "|";
  EXPECT_TRUE(questions.empty()) << asked;
}

TEST_F(MemoryStage, Win9xGoesOnWithTheFolderAfterRemovingTheRunningTrojan) {
  if (isNtFamily()) GTEST_SKIP() << "the 9x family's stage";
  ASSERT_NO_FATAL_FAILURE(startSleeper());
  // Wine's tool-help listing names each process by its file name alone
  // (where Windows 9x gives the full path), and the stage examines that name
  // in the current folder: the scan runs from the sleeper's folder.
  char saved[MAX_PATH];
  GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(root_.c_str()));
  bool exited = scanUntilExit(kActionDelete);
  SetCurrentDirectoryA(saved);
  EXPECT_FALSE(exited);

  EXPECT_TRUE(childEnded());
  EXPECT_FALSE(exists("tsleeper.exe"));
  ASSERT_TRUE(hasLine(kMemoryLine)) << allLines();
  EXPECT_TRUE(hasLine(std::string("tsleeper.exe     ") + kTrojanCheckName + " removed"))
      << allLines();
  EXPECT_TRUE(hasLine("Scanning statistics"));
  EXPECT_TRUE(hasLine("Total files removed\t\t:  1"));
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(statuses.back(), "Scanning completed");
}

// Nothing infected is running: the stage hands over to the folder walk, which
// finds the file on disk as an ordinary match.
TEST_F(MemoryStage, WithNothingRunningTheFolderIsScanned) {
  EXPECT_FALSE(scanUntilExit(kActionDelete));
  EXPECT_EQ(g_session.memoryCheckMode, 0);
  EXPECT_FALSE(exists("tsleeper.exe"));
  EXPECT_FALSE(hasLine(kMemoryLine));
  EXPECT_TRUE(hasLine(path("tsleeper.exe") + "     " + kRecordName + " removed"));
  EXPECT_TRUE(hasLine("Total files removed\t\t:  1"));
}
