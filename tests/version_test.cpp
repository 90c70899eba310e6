// The version queries and the forced restart with its privilege step.
#include <string>
#include <vector>

#include "memory/version.h"
#include "platform/system.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

class VersionTest : public ScanFixture {};

namespace {
struct VersionCase {
  const char* what;
  bool fails;
  uint32_t platformId, major, minor;
  int family, generation;
};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.what; }
}  // namespace

class VersionTableTest : public VersionTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTableTest, FamilyAndGeneration) {
  const VersionCase& c = GetParam();
  simMachine().versionFails = c.fails;
  simMachine().platformId = c.platformId;
  simMachine().majorVersion = c.major;
  simMachine().minorVersion = c.minor;
  EXPECT_EQ(getWindowsFamily(), c.family) << c.what;
  EXPECT_EQ(getNtGeneration(), c.generation) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionTableTest,
    ::testing::Values(VersionCase{"Windows 95", false, 1, 4, 0, 4, 0},
                      VersionCase{"Windows 98", false, 1, 4, 10, 4, 0},
                      VersionCase{"Windows Me", false, 1, 4, 90, 4, 0},
                      VersionCase{"NT 3.51", false, 2, 3, 51, 5, 5},
                      VersionCase{"NT 4.0", false, 2, 4, 0, 5, 5},
                      VersionCase{"Windows 2000", false, 2, 5, 0, 5, 6},
                      VersionCase{"Windows XP", false, 2, 5, 1, 5, 6},
                      VersionCase{"Windows Vista", false, 2, 6, 0, 5, 0},
                      VersionCase{"Windows 10", false, 2, 10, 0, 5, 0},
                      VersionCase{"Win32s", false, 0, 3, 10, 1, 0},
                      VersionCase{"Windows CE", false, 3, 5, 0, 1, 0},
                      VersionCase{"query fails", true, 2, 5, 0, 0, 0}));

namespace {
struct RestartCase {
  const char* what;
  uint32_t platformId;
  bool tokenFails, privilegeNotHeld;
  int exitResult;
  int result;
  bool restarted, privilegeEnabled;
};
void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.what; }
}  // namespace

class RestartComputerTest : public VersionTest, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(RestartComputerTest, EnablesThePrivilegeWhereThereAreAnyAndRestarts) {
  const RestartCase& c = GetParam();
  SimMachine& sim = simMachine();
  sim.platformId = c.platformId;
  sim.majorVersion = c.platformId == 1 ? 4 : 5;
  sim.tokenOpenFails = c.tokenFails;
  sim.privilegeNotHeld = c.privilegeNotHeld;
  sim.exitWindowsResult = c.exitResult;

  EXPECT_EQ(restartComputer(), c.result) << c.what;
  EXPECT_EQ(sim.restartRequests,
            c.restarted ? std::vector<uint32_t>{kExitRebootForce} : std::vector<uint32_t>{})
      << c.what;
  EXPECT_EQ(sim.enabledPrivileges, c.privilegeEnabled
                                       ? std::vector<std::string>{"SeShutdownPrivilege"}
                                       : std::vector<std::string>{})
      << c.what;
  EXPECT_TRUE(sim.messageBoxes.empty()) << c.what;  // a refusal is silent
}

INSTANTIATE_TEST_SUITE_P(
    Restart, RestartComputerTest,
    ::testing::Values(
        RestartCase{"NT", 2, false, false, 1, 1, true, true},
        RestartCase{"NT, restart refused", 2, false, false, 0, 0, true, true},
        // 9x has no privileges: the token is never asked for.
        RestartCase{"9x", 1, true, false, 1, 1, true, false},
        RestartCase{"another platform takes the privilege step", 0, false, false, 1, 1, true,
                    true},
        RestartCase{"NT, token cannot be opened", 2, true, false, 1, 0, false, false},
        RestartCase{"NT, privilege not held", 2, false, true, 1, 1300, false, false}));
