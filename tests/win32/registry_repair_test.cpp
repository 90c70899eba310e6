// Registry repair against the prefix's real registry: start-up values that
// launch the infected file, the uuencoded worm in the hosts file, and the
// service keys of the numbered control sets. Every key and value a test adds
// is taken out again, and the hosts file is put back as it was.
#include <windows.h>

#include <cstring>

#include "engine/session.h"
#include "engine/signature_table.h"
#include "engine/uu_matcher.h"
#include "repair/registry_repair.h"
#include "repair/service_keys.h"
#include "tests/win32/support/wine_fixture.h"

namespace {

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunServicesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";
constexpr const char* kRemovedLine = "System Registry     W32/Tarvolinex.Trojan removed";

bool keyExists(HKEY root, const std::string& keyPath) {
  HKEY key;
  if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool valueExists(const char* keyPath, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool found = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

bool createKey(const std::string& keyPath) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

// Deletes a key and everything below it (RegDeleteKeyA takes only leaves).
void deleteKeyTree(HKEY root, const std::string& keyPath) {
  HKEY key;
  if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    char name[256];
    for (;;) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        break;
      deleteKeyTree(root, keyPath + "\\" + name);
    }
    RegCloseKey(key);
  }
  RegDeleteKeyA(root, keyPath.c_str());
}

// Values a test writes under HKLM; the keys it had to create go with them.
class RegistryValues {
 public:
  ~RegistryValues() {
    for (const auto& [keyPath, name] : written_) {
      HKEY key;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key) ==
          ERROR_SUCCESS) {
        RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
      }
    }
    for (auto it = createdKeys_.rbegin(); it != createdKeys_.rend(); ++it)
      deleteKeyTree(HKEY_LOCAL_MACHINE, *it);
  }
  void set(const char* keyPath, const char* name, const std::string& data,
           DWORD type = REG_SZ) {
    setBytes(keyPath, name, std::string(data.c_str(), data.size() + 1), type);
  }
  // The data exactly as given: a string with or without its terminator.
  void setBytes(const char* keyPath, const char* name, const std::string& data, DWORD type) {
    if (!keyExists(HKEY_LOCAL_MACHINE, keyPath)) {
      ASSERT_TRUE(createKey(keyPath)) << keyPath;
      createdKeys_.push_back(keyPath);
    }
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    written_.emplace_back(keyPath, name);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

 private:
  std::vector<std::pair<std::string, std::string>> written_;
  std::vector<std::string> createdKeys_;
};

size_t countLine(const std::vector<std::string>& lines, const std::string& line) {
  size_t count = 0;
  for (const std::string& each : lines) count += each == line;
  return count;
}

// The session as the matcher leaves it right after a match of `file`.
void matched(const std::string& file) {
  copyText(g_session.currentFile, file.c_str(), sizeof g_session.currentFile);
  g_session.currentFileLength = 38400;
  g_session.filesInfected = 1;
}

}  // namespace

class RegistryRepair : public WineScanFixture {
 protected:
  RegistryValues values_;
};

TEST_F(RegistryRepair, RemovesStartupValuesThatStartAFileInTheSystemFolder) {
  values_.set(kRunKey, "drvtest bare", "ZQVBL.EXE");
  values_.set(kRunKey, "drvtest quoted", "\"C:\\Windows\\System32\\zqvbl.exe\" -install -q");
  values_.set(kRunKey, "drvtest expand", "%SystemRoot%\\system32\\zqvbl.exe", REG_EXPAND_SZ);
  values_.set(kRunKey, "drvtest other program", "C:\\windows\\system32\\notepad.exe");
  values_.set(kRunKey, "drvtest other bare", "notepad.exe /s");
  values_.set(kRunKey, "drvtest other folder", "C:\\Program Files\\zqvbl.exe");
  values_.set(kRunServicesKey, "drvtest service", "zqvbl.exe -service");
  matched("C:\\WINDOWS\\SYSTEM32\\ZQVBL.EXE");

  EXPECT_EQ(repairRegistry(detectionName().c_str()), 1);

  EXPECT_FALSE(valueExists(kRunKey, "drvtest bare"));
  EXPECT_FALSE(valueExists(kRunKey, "drvtest quoted"));
  EXPECT_FALSE(valueExists(kRunKey, "drvtest expand"));
  EXPECT_FALSE(valueExists(kRunServicesKey, "drvtest service"));
  EXPECT_TRUE(valueExists(kRunKey, "drvtest other program"));
  EXPECT_TRUE(valueExists(kRunKey, "drvtest other bare"));
  EXPECT_TRUE(valueExists(kRunKey, "drvtest other folder"))
      << "a full path to a different folder does not start the file";
  EXPECT_EQ(countLine(lines, kRemovedLine), 4u);
  EXPECT_EQ(lines.size(), 4u);
  EXPECT_STREQ(g_session.startupValueName, "drvtest service");
}

// Outside the system folders a bare name could start any file of that name,
// so only full paths are trusted; the name of a removed value is then removed
// from all three keys at the next match, under that match's detection name.
TEST_F(RegistryRepair, BareNamesCountOnlyInTheSystemFolderAndRememberedNamesGoEverywhere) {
  std::string file = path("zqvbl.exe");
  values_.set(kRunKey, "drvtest bare", "zqvbl.exe");
  values_.set(kRunKey, "drvtest full", file);
  matched(file);
  repairRegistry(detectionName().c_str());

  EXPECT_TRUE(valueExists(kRunKey, "drvtest bare"));
  EXPECT_FALSE(valueExists(kRunKey, "drvtest full"));
  EXPECT_EQ(lines, std::vector<std::string>{kRemovedLine});
  ASSERT_STREQ(g_session.startupValueName, "drvtest full");

  // The trojan writes the same name again, in every key it uses.
  values_.set(kRunKey, "drvtest full", "C:\\elsewhere\\other.exe");
  values_.set(kRunServicesKey, "drvtest full", "C:\\elsewhere\\other.exe");
  values_.set(kUninstallKey, "drvtest full", "C:\\elsewhere\\other.exe");
  lines.clear();
  matched(path("second.exe"));
  repairRegistry("W32/Second");

  EXPECT_FALSE(valueExists(kRunKey, "drvtest full"));
  EXPECT_FALSE(valueExists(kRunServicesKey, "drvtest full"));
  EXPECT_FALSE(valueExists(kUninstallKey, "drvtest full"));
  EXPECT_EQ(lines, std::vector<std::string>(3, "System Registry     W32/Second removed"));
}

// Windows runs a start-up string stored without its terminator, or with
// trailing NULs, or with arguments longer than the data buffer: each is read
// as its bytes, up to the buffer.
TEST_F(RegistryRepair, StringValuesAreReadAsWindowsStoresThem) {
  const std::string file = path("zqvbl.exe");
  values_.setBytes(kRunKey, "drvtest unterminated", file, REG_SZ);
  values_.setBytes(kRunKey, "drvtest trailing", file + std::string(3, '\0'), REG_SZ);
  values_.set(kRunKey, "drvtest long", "\"" + file + "\" " + std::string(600, 'a'));
  values_.setBytes(kRunKey, "drvtest other", path("other.exe"), REG_SZ);
  matched(file);
  repairRegistry(detectionName().c_str());

  EXPECT_FALSE(valueExists(kRunKey, "drvtest unterminated"));
  EXPECT_FALSE(valueExists(kRunKey, "drvtest trailing"));
  EXPECT_FALSE(valueExists(kRunKey, "drvtest long"));
  EXPECT_TRUE(valueExists(kRunKey, "drvtest other"));
  EXPECT_EQ(lines, std::vector<std::string>(3, kRemovedLine));
}

class HostsFile : public WineScanFixture {
 protected:
  void SetUp() override {
    WineScanFixture::SetUp();
    // The built-in table's pattern is unscrambled on the matcher's first call:
    // make that call now, so the table installed below is used as written.
    matchUuencodedFile(kTrojanCheckName, path("none").c_str());
    std::memset(&record_, 0, sizeof record_);
    std::strcpy(record_.name, "W32/TestWorm.uu");
    const char pattern[] = "M35J0`P0N<W1U8F]R;@";
    std::memcpy(record_.pattern, pattern, sizeof pattern - 1);
    record_.patternLength = sizeof pattern - 1;
    record_.method = 1;
    useUuSignatureTable(&record_, 1);

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    char folder[MAX_PATH];
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
      GetSystemDirectoryA(folder, sizeof folder);
      hosts_ = std::string(folder) + "\\drivers\\etc\\hosts";
    } else {
      GetWindowsDirectoryA(folder, sizeof folder);
      hosts_ = std::string(folder) + "\\hosts";
    }
    hadHosts_ = GetFileAttributesA(hosts_.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (hadHosts_) saved_ = readWholeFile(hosts_);
  }
  void TearDown() override {
    useUuSignatureTable(nullptr, 0);
    if (hadHosts_)
      writeWholeFile(hosts_, saved_);
    else
      DeleteFileA(hosts_.c_str());
    WineScanFixture::TearDown();
  }

  UuSignatureRecord record_;
  std::string hosts_;
  bool hadHosts_ = false;
  std::string saved_;
};

TEST_F(HostsFile, UuencodedWormInTheHostsFileIsRemoved) {
  writeWholeFile(hosts_,
                 "begin 644 x.exe\r\n"
                 "M35J0`P0N<W1U8F]R;@  \r\n"
                 "`\r\nend\r\n");
  g_session.actionCode = kActionDelete;
  matched("C:\\windows\\system32\\zqvbl.exe");
  repairRegistry(detectionName().c_str());

  EXPECT_EQ(GetFileAttributesA(hosts_.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(countLine(lines, hosts_ + "     W32/TestWorm.uu removed"), 1u);
  EXPECT_EQ(g_session.filesInfected, 2);
}

TEST_F(HostsFile, HostsFileNotStartingWithBeginIsLeftAlone) {
  const std::string content = "127.0.0.1 localhost\r\n# M35J0`P0N<W1U8F]R;@\r\n";
  writeWholeFile(hosts_, content);
  g_session.actionCode = kActionDelete;
  matched("C:\\windows\\system32\\zqvbl.exe");
  repairRegistry(detectionName().c_str());

  EXPECT_EQ(readWholeFile(hosts_), content);
  EXPECT_TRUE(lines.empty());
}

// Wine keeps its services under CurrentControlSet only: the numbered control
// sets exist only while a test has made them.
class ServiceKeys : public WineScanFixture {
 protected:
  void SetUp() override {
    WineScanFixture::SetUp();
    for (const char* set : {"SYSTEM\\ControlSet001", "SYSTEM\\ControlSet002"})
      if (!keyExists(HKEY_LOCAL_MACHINE, set)) created_.push_back(set);
  }
  void TearDown() override {
    for (const char* set : {"SYSTEM\\ControlSet001", "SYSTEM\\ControlSet002"})
      deleteKeyTree(HKEY_LOCAL_MACHINE, std::string(set) + "\\Services\\drvtestsvc");
    for (const std::string& set : created_) deleteKeyTree(HKEY_LOCAL_MACHINE, set);
    WineScanFixture::TearDown();
  }
  static std::string service(int set, const char* suffix = "") {
    return std::string("SYSTEM\\ControlSet00") + std::to_string(set) +
           "\\Services\\drvtestsvc" + suffix;
  }
  std::vector<std::string> created_;
};

TEST_F(ServiceKeys, RemovesTheServiceFromBothControlSets) {
  for (int set : {1, 2}) {
    ASSERT_TRUE(createKey(service(set, "\\Enum")));
    ASSERT_TRUE(createKey(service(set, "\\Security")));
  }
  EXPECT_EQ(removeServiceKeys("drvtestsvc"), 1);
  for (int set : {1, 2}) EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, service(set))) << set;
  EXPECT_EQ(removeServiceKeys("drvtestsvc"), 0) << "nothing is left to remove";
}

TEST_F(ServiceKeys, KeyWithAnotherSubkeyStays) {
  ASSERT_TRUE(createKey(service(1, "\\Enum")));
  ASSERT_TRUE(createKey(service(1, "\\Security")));
  ASSERT_TRUE(createKey(service(1, "\\Parameters")));
  EXPECT_EQ(removeServiceKeys("drvtestsvc"), 1);
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, service(1, "\\Enum")));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, service(1, "\\Security")));
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    // NT refuses to delete a key that still has a subkey.
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, service(1, "\\Parameters")));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, service(1)));
  } else {
    // The 9x registry deletes the key with whatever is below it.
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, service(1)));
  }
}

TEST_F(ServiceKeys, MissingServiceRemovesNothing) {
  EXPECT_EQ(removeServiceKeys("drvtest-no-such-service"), 0);
}
