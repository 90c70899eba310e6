// Uninstall-entry cleanup: the trojan's uninstall command and start-up value,
// deleted only when their data names the trojan's files.
#include <string>
#include <vector>

#include "repair/uninstall_entry.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"
#include "tests/support/test_machine.h"

namespace {

const std::string kUninstallKey =
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\RHCJG7J0E38V";
const std::string kRunKey = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
const char* const kUninstallValue = "UninstallString";
const char* const kRunValue = "SMrhcjg7j0e38v";

const std::string kUninstallData = "\"C:\\Program Files\\rhcjg7j0e38v\\uninstall.exe\" /u";
const std::string kRunData = "C:\\WINDOWS\\system32\\rhcjg7j0e38v.exe -s";

// A value's data; nullptr-like "absent" is modelled by not adding it.
struct Value {
  bool present;
  std::string data;
  bool terminated = true;  // stored with its NUL, as REG_SZ data is
};

void addValue(const std::string& key, const char* name, const Value& value) {
  SimRegistryKey& entry = simMachine().registry[key];
  if (!value.present) return;
  SimRegistryValue stored;
  stored.name = name;
  stored.data.assign(value.data.begin(), value.data.end());
  if (value.terminated) stored.data.push_back(0);
  entry.values.push_back(stored);
}

bool hasValue(const std::string& key, const char* name) {
  auto found = simMachine().registry.find(key);
  if (found == simMachine().registry.end()) return false;
  for (const SimRegistryValue& value : found->second.values)
    if (value.name == name) return true;
  return false;
}

}  // namespace

class UninstallEntryTest : public ScanFixture {};

namespace {
struct CleanupCase {
  const char* what;
  bool uninstallKey;
  Value uninstall;
  bool runKey;
  Value run;
  int result;
  bool uninstallRemains, runRemains;
};
void PrintTo(const CleanupCase& c, std::ostream* os) { *os << c.what; }
}  // namespace

class UninstallCleanupTest : public UninstallEntryTest, public ::testing::WithParamInterface<CleanupCase> {};

TEST_P(UninstallCleanupTest, DeletesOnlyTheTrojansValues) {
  const CleanupCase& c = GetParam();
  if (c.uninstallKey) addValue(kUninstallKey, kUninstallValue, c.uninstall);
  if (c.runKey) addValue(kRunKey, kRunValue, c.run);
  // A neighbour that must never be touched.
  addValue(kRunKey, "Other", Value{true, "C:\\tools\\rhcjg7j0e38v.exe"});

  // A report run lists, without touching them, exactly the values the cleanup
  // then deletes.
  static std::vector<std::string> listed;
  listed.clear();
  findUninstallEntry([](const char* key, const char* value) {
    listed.push_back(std::string(key) + "\\" + value);
  });
  const bool uninstallPresent = c.uninstallKey && c.uninstall.present;
  const bool runPresent = c.runKey && c.run.present;
  std::vector<std::string> deleted;
  if (uninstallPresent && !c.uninstallRemains)
    deleted.push_back("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v\\UninstallString");
  if (runPresent && !c.runRemains)
    deleted.push_back("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\SMrhcjg7j0e38v");

  EXPECT_EQ(cleanUninstallEntry(), c.result) << c.what;
  EXPECT_EQ(hasValue(kUninstallKey, kUninstallValue), c.uninstallRemains) << c.what;
  EXPECT_EQ(hasValue(kRunKey, kRunValue), c.runRemains) << c.what;
  EXPECT_EQ(listed, deleted) << c.what;
  EXPECT_TRUE(hasValue(kRunKey, "Other")) << c.what;
  EXPECT_EQ(simMachine().openKeys, 0) << c.what;
  EXPECT_TRUE(lines.empty()) << c.what;
}

const Value kAbsent{false, ""};

INSTANTIATE_TEST_SUITE_P(
    Cleanup, UninstallCleanupTest,
    ::testing::Values(
        CleanupCase{"both values present", true, {true, kUninstallData}, true,
                    {true, kRunData}, 1, false, false},
        CleanupCase{"uninstall command without uninstall.exe", true,
                    {true, "C:\\rhc\\remove.exe"}, true, {true, kRunData}, 1, true, false},
        CleanupCase{"uninstall key missing", false, kAbsent, true, {true, kRunData}, 0, false,
                    true},
        CleanupCase{"uninstall command missing", true, kAbsent, true, {true, kRunData}, 0, false,
                    true},
        CleanupCase{"data in other letter case", true,
                    {true, "C:\\RHC\\UNINSTALL.EXE"}, true,
                    {true, "C:\\WINDOWS\\RHCJG7J0E38V.EXE"}, 1, true, true},
        CleanupCase{"start-up value names another file", true, {true, kUninstallData}, true,
                    {true, "C:\\WINDOWS\\explorer.exe"}, 1, false, true},
        CleanupCase{"start-up value missing", true, {true, kUninstallData}, true, kAbsent, 0,
                    false, false},
        // The start-up key holds only the neighbour, which the fixture adds.
        CleanupCase{"100 bytes without a terminator still fit", true,
                    {true, std::string(100 - 13, 'x') + "uninstall.exe", false}, true,
                    {true, kRunData}, 1, false, false},
        // Too long for the 100-byte buffer: read up to it, never past it; the
        // marker beyond it is not seen, and the start-up value is still reached.
        CleanupCase{"data longer than the buffer", true,
                    {true, std::string(120, 'x') + "uninstall.exe"}, true, {true, kRunData}, 1,
                    true, false},
        CleanupCase{"data of 100 bytes plus its terminator", true,
                    {true, std::string(100 - 13, 'x') + "uninstall.exe"}, true,
                    {true, kRunData}, 1, false, false}));

TEST_F(UninstallEntryTest, SecondCallEndsAtTheFirstRead) {
  addValue(kUninstallKey, kUninstallValue, Value{true, kUninstallData});
  addValue(kRunKey, kRunValue, Value{true, kRunData});
  EXPECT_EQ(cleanUninstallEntry(), 1);
  // A start-up value added afterwards is not reached: the uninstall command is gone.
  addValue(kRunKey, kRunValue, Value{true, kRunData});
  EXPECT_EQ(cleanUninstallEntry(), 0);
  EXPECT_TRUE(hasValue(kRunKey, kRunValue));
  EXPECT_EQ(simMachine().openKeys, 0);
}

TEST_F(UninstallEntryTest, FailuresAnswerZeroAndCloseTheKeys) {
  struct Case {
    const char* what;
    void (*inject)();
    bool runRemains;
  };
  const std::vector<Case> cases = {
      {"uninstall command cannot be deleted",
       [] { simMachine().failValueDeletes.insert(kUninstallKey + "\\UNINSTALLSTRING"); }, true},
      {"start-up value cannot be deleted",
       [] { simMachine().failValueDeletes.insert(kRunKey + "\\SMRHCJG7J0E38V"); }, true},
      {"keys cannot be closed", [] { simMachine().failKeyClose = true; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetTestMachine();
    addValue(kUninstallKey, kUninstallValue, Value{true, kUninstallData});
    addValue(kRunKey, kRunValue, Value{true, kRunData});
    c.inject();
    EXPECT_EQ(cleanUninstallEntry(), 0);
    EXPECT_EQ(hasValue(kRunKey, kRunValue), c.runRemains);
    EXPECT_EQ(simMachine().openKeys, 0);
  }
}
