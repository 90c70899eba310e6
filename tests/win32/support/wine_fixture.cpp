#include "tests/win32/support/wine_fixture.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/driver.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "samples/pe_builder.h"

std::vector<std::string> WineScanFixture::lines;
std::vector<std::string> WineScanFixture::statuses;
std::vector<std::string> WineScanFixture::questions;
std::vector<std::string> WineScanFixture::messageBoxes;

namespace {

constexpr const char* kScratchRoot = "C:\\drvtest";

// Refuses to run anything unless the machine looks like a throw-away Wine
// prefix: a Z: drive would be the host's root, and a scan must never reach it.
class SafePrefixCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(GetDriveTypeA("Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
        << "drive Z: exists: run the Win32 tests only in the prefix scripts/wine-tests.sh makes";
    CreateDirectoryA(kScratchRoot, nullptr);
  }
};
const auto* const g_safePrefixCheck = ::testing::AddGlobalTestEnvironment(new SafePrefixCheck);

bool underScratchRoot(const std::string& path) {
  std::string prefix = std::string(kScratchRoot) + "\\";
  return path.size() > prefix.size() && _strnicmp(path.c_str(), prefix.c_str(), prefix.size()) == 0;
}

void removeTreeUnchecked(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!std::strcmp(found.cFileName, ".") || !std::strcmp(found.cFileName, "..")) continue;
      removeTreeUnchecked(path + "\\" + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace

std::string selectedWineVersion() {
  const char* version = std::getenv("DRENVALISK_WINE_VERSION");
  return version ? version : "";
}

void removeTree(const std::string& path) {
  if (underScratchRoot(path)) removeTreeUnchecked(path);
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

void WineScanFixture::SetUp() {
  resetScanSession();
  useSignatureTable(nullptr);
  lines.clear();
  statuses.clear();
  questions.clear();
  messageBoxes.clear();
  bindReportChannel(ReportSink{[](const char* line) { lines.push_back(line); },
                               [](const char* status) { statuses.push_back(status); }});
  bindConfirmBox([](const char* text, const char*, unsigned style) {
    questions.push_back(text);
    return (style & 0x0F) == kMbOkCancel ? kIdCancel : kIdNo;
  });
  setMessageBoxHook([](WindowHandle, const char* text, const char*, unsigned) {
    messageBoxes.push_back(text ? text : "");
    return kIdOk;
  });
  setSleepHook([](uint32_t) {});
  g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));

  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  root_ = std::string(kScratchRoot) + "\\" + test->test_suite_name() + "_" + test->name();
  removeTree(root_);
  ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr)) << root_ << " error " << GetLastError();
}

void WineScanFixture::TearDown() {
  removeTree(root_);
  bindReportChannel(ReportSink{nullptr, nullptr});
  bindConfirmBox(nullptr);
  setMessageBoxHook(nullptr);
  setSleepHook(nullptr);
}

std::string WineScanFixture::path(const std::string& name) const { return root_ + "\\" + name; }

void WineScanFixture::writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
  ASSERT_FALSE(bytes.empty());
  ASSERT_TRUE(writeHostFile(path(name), bytes)) << path(name);
}

void WineScanFixture::writeInfected(const std::string& name) const {
  writeFile(name, buildInfectedSample(infectedRecord()));
}

void WineScanFixture::writeClean(const std::string& name, uint32_t seed) const {
  writeFile(name, buildCleanSample(38400, seed));
}

void WineScanFixture::makeFolder(const std::string& name) const {
  ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr)) << path(name);
}

bool WineScanFixture::exists(const std::string& name) const {
  return GetFileAttributesA(path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WineScanFixture::scan(int actionCode, const std::string& folder) {
  g_session.actionCode = actionCode;
  copyText(g_session.scanTarget, folder.empty() ? root_.c_str() : folder.c_str(),
           sizeof g_session.scanTarget);
  g_session.scanRunning = 1;
  runScan();
  g_session.scanRunning = 0;
}

const SignatureRecord& WineScanFixture::infectedRecord() { return signatureTable()[0]; }

std::string WineScanFixture::detectionName() {
  const SignatureRecord& record = infectedRecord();
  return std::string(record.name, strnlen(record.name, sizeof record.name));
}
