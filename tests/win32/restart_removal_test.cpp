// A file that cannot be deleted (held open without FILE_SHARE_DELETE) is
// scheduled for removal at the next start: through MoveFileExA on the NT
// family, through the "[rename]" section of wininit.ini on the 9x family.
// Each test runs only under the Windows version it is about; the test script
// runs the executable once per version.
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "engine/restart_removal.h"
#include "engine/session.h"
#include "memory/version.h"
#include "tests/win32/support/wine_fixture.h"

namespace {

constexpr const char* kSessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPendingValue = "PendingFileRenameOperations";

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Holds a file open for reading, sharing read access only, so that
// DeleteFileA fails with a sharing violation while it is open.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldFile() { release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void release() {
    if (valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// The strings of PendingFileRenameOperations; the value is put back as it was
// when the guard goes out of scope.
class PendingRenames {
 public:
  PendingRenames() { saved_ = read(&present_); }
  ~PendingRenames() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
      return;
    if (present_)
      RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ,
                     reinterpret_cast<const BYTE*>(saved_.data()), static_cast<DWORD>(saved_.size()));
    else
      RegDeleteValueA(key, kPendingValue);
    RegCloseKey(key);
  }
  // The value's strings, lower-cased (names in it carry the "\??\" prefix).
  std::vector<std::string> entries() const {
    bool present = false;
    std::string raw = read(&present);
    std::vector<std::string> strings;
    size_t start = 0;
    while (start < raw.size()) {
      size_t end = raw.find('\0', start);
      if (end == std::string::npos) end = raw.size();
      strings.push_back(lowerCase(raw.substr(start, end - start)));
      start = end + 1;
    }
    return strings;
  }

 private:
  static std::string read(bool* present) {
    *present = false;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
      return "";
    DWORD type = 0, size = 0;
    std::string data;
    if (RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      data.resize(size);
      if (RegQueryValueExA(key, kPendingValue, nullptr, &type,
                           reinterpret_cast<BYTE*>(&data[0]), &size) == ERROR_SUCCESS) {
        data.resize(size);
        *present = true;
      }
    }
    RegCloseKey(key);
    return *present ? data : "";
  }
  bool present_ = false;
  std::string saved_;
};

std::string windowsDirectory() {
  char folder[MAX_PATH];
  UINT length = GetWindowsDirectoryA(folder, sizeof folder);
  return std::string(folder, length);
}

std::string shortPathOf(const std::string& path) {
  char shortPath[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
  return std::string(shortPath, length < sizeof shortPath ? length : 0);
}

// Puts wininit.ini back as it was (usually: absent) when it goes out of scope.
class WininitGuard {
 public:
  WininitGuard() : path_(windowsDirectory() + "\\wininit.ini") {
    present_ = GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (present_) saved_ = readWholeFile(path_);
    DeleteFileA(path_.c_str());
  }
  ~WininitGuard() {
    if (present_) writeWholeFile(path_, saved_);
    else DeleteFileA(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool present_ = false;
  std::string saved_;
};

const char kOtherVersion[] = "runs under another Windows version (see scripts/wine-tests.sh)";

const char kRestartQuestion[] =
    "The system has to be restarted to remove the virus completely from your system. \n\n "
    "Restart now?";

}  // namespace

class RemovalAtRestart : public WineScanFixture {
 protected:
  // Scans the scratch folder with its one infected file held open, then checks
  // what every family has in common: the file stays, is reported "Unable to
  // remove", and the restart question is asked once and answered No.
  void scanWithHeldFile(const std::string& name) {
    writeInfected(name);
    {
      HeldFile held(path(name));
      ASSERT_TRUE(held.valid());
      ASSERT_FALSE(DeleteFileA(path(name).c_str())) << "the open file must resist deletion";
      scan(kActionDelete);
    }
    EXPECT_TRUE(exists(name));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], path(name) + "     " + detectionName() + " Unable to remove");
    EXPECT_EQ(g_session.filesRemoved, 0);
    EXPECT_EQ(g_session.filesInfected, 1);
    EXPECT_EQ(lines.back(), "Total files removed\t\t:  0");
  }
};

TEST_F(RemovalAtRestart, NtFamilySchedulesTheFileWithMoveFileEx) {
  if (getWindowsFamily() != kFamilyNt) GTEST_SKIP() << kOtherVersion;
  PendingRenames pending;
  scanWithHeldFile("held.exe");

  std::vector<std::string> entries = pending.entries();
  std::string expected = lowerCase("\\??\\" + path("held.exe"));
  auto found = std::find(entries.begin(), entries.end(), expected);
  ASSERT_NE(found, entries.end()) << "PendingFileRenameOperations lacks " << expected;
  ASSERT_NE(found + 1, entries.end());
  EXPECT_EQ(*(found + 1), "") << "an empty new name means: delete";
  EXPECT_EQ(g_session.restartNeeded, 1);
  EXPECT_EQ(questions, std::vector<std::string>{kRestartQuestion});
}

TEST_F(RemovalAtRestart, Win9xFamilyCreatesWininitWithTheShortPath) {
  if (getWindowsFamily() != kFamily9x) GTEST_SKIP() << kOtherVersion;
  WininitGuard wininit;
  scanWithHeldFile("held infected sample.exe");

  std::string shortPath = shortPathOf(path("held infected sample.exe"));
  ASSERT_FALSE(shortPath.empty());
  EXPECT_EQ(readWholeFile(wininit.path()), "[rename]\r\nNUL=" + shortPath + "\r\n");
  EXPECT_EQ(g_session.restartNeeded, 1);
  EXPECT_EQ(questions, std::vector<std::string>{kRestartQuestion});
}

TEST_F(RemovalAtRestart, Win9xFamilyAddsToTheEndOfAnExistingRenameSection) {
  if (getWindowsFamily() != kFamily9x) GTEST_SKIP() << kOtherVersion;
  WininitGuard wininit;
  writeWholeFile(wininit.path(),
                 "[Rename]\r\nNUL=C:\\OLD.EXE\r\n[Other]\r\nkey=value\r\n");
  scanWithHeldFile("second.exe");

  std::string content = readWholeFile(wininit.path());
  std::string entry = "NUL=" + shortPathOf(path("second.exe"));
  size_t oldEntry = content.find("NUL=C:\\OLD.EXE");
  size_t newEntry = content.find(entry);
  size_t other = content.find("[Other]");
  ASSERT_NE(oldEntry, std::string::npos) << content;
  ASSERT_NE(newEntry, std::string::npos) << content;
  ASSERT_NE(other, std::string::npos) << content;
  EXPECT_LT(oldEntry, newEntry);
  EXPECT_LT(newEntry, other) << "the entry closes the [rename] section";
  EXPECT_NE(content.find("key=value"), std::string::npos);
  EXPECT_EQ(g_session.restartNeeded, 1);
}

// Straight through the scheduling call: the NT answer is 1 even for a file
// that does not exist, as the restart is offered all the same.
TEST_F(RemovalAtRestart, NtFamilyAnswersOneWhateverMoveFileExSays) {
  if (getWindowsFamily() != kFamilyNt) GTEST_SKIP() << kOtherVersion;
  PendingRenames pending;
  EXPECT_EQ(scheduleRemovalAtRestart(path("never-created.exe").c_str()), 1);
}
