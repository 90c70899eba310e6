// Rules of the scan on the simulated machine that no other test guards, and
// what the registry of a running Windows (simulated) does with services and
// subkeys: each case here fails when its rule is broken.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/session.h"
#include "platform/registry.h"
#include "repair/registry_repair.h"
#include "samples/pe_builder.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

const char* const kRemoved = "System Registry     W32/Tarvolinex.Trojan removed";
const char* const kEvil = "C:\\Evil\\evil.exe";

}  // namespace

class ScanRules : public ScanFixture {};

TEST_F(ScanRules, NamesBeginningWithTwoDotsAreFilesToScan) {
  const std::vector<uint8_t> sample = buildInfectedSample(builtInRecord(0));
  writeFile("C:\\..evil.exe", sample);
  writeFile("C:\\sub\\..evil.exe", sample);
  writeFile("C:\\sub\\...\\..x.exe", sample);
  std::strcpy(g_session.scanTarget, "!:");
  g_session.actionCode = kActionDelete;
  runScan();

  for (const char* path : {"C:\\..evil.exe", "C:\\sub\\..evil.exe", "C:\\sub\\...\\..x.exe"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        std::string(path) + "     W32/Tarvolinex.Bej.Ransom.Trojan removed"),
              lines.end()) << path;
    EXPECT_FALSE(exists(path)) << path;
  }
}

// The expansion buffer holds 261 bytes: an expansion of 260 characters fills
// it exactly and is matched; one character more cannot name the file.
TEST_F(ScanRules, ExpansionFillingItsBufferExactlyIsMatched) {
  simMachine().environment["SystemRoot"] = "C:\\WINDOWS";
  const std::string head = "%SystemRoot%\\system32\\x.exe ";
  const std::string expandedHead = "C:\\WINDOWS\\system32\\x.exe ";
  const std::string exact = head + std::string(260 - expandedHead.size(), 'a');
  const std::string over = head + std::string(261 - expandedHead.size(), 'a');
  const char* const run = "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";
  for (const auto& value : {std::make_pair("Over", over), std::make_pair("Exact", exact)}) {
    SimRegistryValue stored;
    stored.name = value.first;
    stored.type = 2;  // REG_EXPAND_SZ
    stored.data.assign(value.second.begin(), value.second.end());
    stored.data.push_back(0);
    simMachine().registry[run].values.push_back(stored);
  }
  g_session.actionCode = kActionDelete;
  std::strcpy(g_session.currentFile, "C:\\WINDOWS\\system32\\x.exe");
  repairRegistry("W32/Tarvolinex.Bej.Ransom.Trojan");

  ASSERT_EQ(simMachine().registry[run].values.size(), 1u);
  EXPECT_EQ(simMachine().registry[run].values[0].name, "Over");
  EXPECT_EQ(lines, (std::vector<std::string>{kRemoved}));
}

// Without an installation on C: (and on a running Windows) services are the
// memory stage's: removing a file leaves them.
class SimulatedServices : public ScanFixture {};

TEST_F(SimulatedServices, AreLeftWhenAFileIsRemoved) {
  SimRegistryValue imagePath;
  imagePath.name = "ImagePath";
  const std::string data = std::string(kEvil) + '\0';
  imagePath.data.assign(data.begin(), data.end());
  simMachine().registry["SYSTEM\\CONTROLSET001\\SERVICES\\EVILSVC"].values.push_back(imagePath);
  writeFile(kEvil, buildInfectedSample(builtInRecord(0)));
  std::strcpy(g_session.scanTarget, "!:");
  g_session.actionCode = kActionDelete;
  runScan();

  EXPECT_FALSE(exists(kEvil));
  EXPECT_EQ(simMachine().registry.count("SYSTEM\\CONTROLSET001\\SERVICES\\EVILSVC"), 1u);
}

TEST_F(SimulatedServices, SubkeysAreEnumeratedByName) {
  for (const char* key : {"SYSTEM\\CONTROLSET001\\SERVICES\\B", "SYSTEM\\CONTROLSET001\\SERVICES\\A\\ENUM",
                          "SYSTEM\\CONTROLSET001\\SERVICES\\A", "SYSTEM\\CONTROLSET002\\SERVICES"})
    simMachine().registry[key];
  ScopedRegKey services;
  ASSERT_EQ(regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, "System\\ControlSet001\\Services", kKeyRead,
                         services.receive()),
            kErrorSuccess);
  std::vector<std::string> names;
  char name[8];
  uint32_t length = sizeof name;
  for (uint32_t i = 0; regEnumKeyName(services.get(), i, name, &length) == kErrorSuccess; ++i) {
    names.push_back(std::string(name, length));
    length = sizeof name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
  length = 1;
  EXPECT_EQ(regEnumKeyName(services.get(), 0, name, &length), kErrorMoreData);
}
