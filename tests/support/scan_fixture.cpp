#include "tests/support/scan_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/signature_table.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "tests/support/test_machine.h"

std::vector<std::string> ScanFixture::lines;
std::vector<std::string> ScanFixture::statuses;
std::vector<std::string> ScanFixture::questions;
int ScanFixture::confirmAnswer = kIdNo;

namespace {
std::string makeTempFolder() {
  char pattern[] = "/tmp/drenvalisk-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? made : "";
}
}  // namespace

void ScanFixture::SetUp() {
  setSleepHook(nullptr);
  resetTestMachine();  // may replace the pause
  resetScanSession();
  useSignatureTable(nullptr);
  lines.clear();
  statuses.clear();
  questions.clear();
  confirmAnswer = kIdNo;
  bindReportChannel(ReportSink{[](const char* line) { lines.push_back(line); },
                               [](const char* status) { statuses.push_back(status); }});
  bindConfirmBox([](const char* text, const char*, unsigned) {
    questions.push_back(text);
    return confirmAnswer;
  });
  root_ = makeTempFolder();
  ASSERT_FALSE(root_.empty());
  hostMapDrive('C', root_);
  g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
}

void ScanFixture::TearDown() {
  std::error_code ignored;
  // Restore write permission so read-only test files can be removed.
  for (const std::string& folder : extraRoots_) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(folder, ignored);
  }
  if (!root_.empty()) {
    for (auto it = std::filesystem::recursive_directory_iterator(
             root_, std::filesystem::directory_options::skip_permission_denied, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(root_, ignored);
  }
  bindReportChannel(ReportSink{nullptr, nullptr});
  bindConfirmBox(nullptr);
  useSignatureTable(nullptr);
  resetTestMachine();
}

std::string ScanFixture::host(const std::string& windowsPath) const {
  return hostPathOf(windowsPath.c_str());
}

void ScanFixture::writeFile(const std::string& windowsPath, const std::vector<uint8_t>& bytes) const {
  std::string path = host(windowsPath);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void ScanFixture::writeText(const std::string& windowsPath, const std::string& text) const {
  writeFile(windowsPath, std::vector<uint8_t>(text.begin(), text.end()));
}

void ScanFixture::makeFolder(const std::string& windowsPath) const {
  std::filesystem::create_directories(host(windowsPath));
}

bool ScanFixture::exists(const std::string& windowsPath) const {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(host(windowsPath), ignored));
}

std::string ScanFixture::readText(const std::string& windowsPath) const {
  std::ifstream in(host(windowsPath), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> ScanFixture::list(const std::string& pattern) {
  std::vector<std::string> names;
  FindData data;
  Handle search = findFirstFile(pattern.c_str(), &data);
  if (search == PLATFORM_INVALID_HANDLE) return names;
  do names.push_back(data.name);
  while (findNextFile(search, &data));
  findClose(search);
  return names;
}

std::string ScanFixture::mapDrive(char letter) {
  std::string folder = makeTempFolder();
  extraRoots_.push_back(folder);
  hostMapDrive(letter, folder);
  return folder;
}

SignatureRecord ScanFixture::builtInRecord(int index) { return signatureTable()[index]; }
