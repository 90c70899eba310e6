// The version queries under the Windows version the test script selected
// (DRENVALISK_WINE_VERSION), as Wine reports it through GetVersionExA.
#include <windows.h>

#include <cstring>

#include "memory/version.h"
#include "platform/system.h"
#include "tests/win32/support/wine_fixture.h"

namespace {

struct VersionCase {
  const char* wineVersion;
  uint32_t platformId;
  uint32_t majorVersion;
  int family;
  int generation;
};

constexpr VersionCase kVersionCases[] = {
    {"win98", 1, 4, kFamily9x, 0},
    {"nt40", 2, 4, kFamilyNt, kGenerationNt4},
    {"win2k", 2, 5, kFamilyNt, kGenerationNt5},
    {"winxp", 2, 5, kFamilyNt, kGenerationNt5},
    {"win7", 2, 6, kFamilyNt, 0},
};

}  // namespace

TEST(VersionQueries, MatchTheVersionTheScriptSelected) {
  std::string selected = selectedWineVersion();
  if (selected.empty()) GTEST_SKIP() << "DRENVALISK_WINE_VERSION is not set";
  const VersionCase* expected = nullptr;
  for (const VersionCase& candidate : kVersionCases)
    if (selected == candidate.wineVersion) expected = &candidate;
  ASSERT_NE(expected, nullptr) << "no expectations for " << selected;

  OsVersionInfo info = {};
  ASSERT_TRUE(getVersionEx(&info));
  EXPECT_EQ(info.platformId, expected->platformId) << selected;
  EXPECT_EQ(info.majorVersion, expected->majorVersion) << selected;
  EXPECT_EQ(getWindowsFamily(), expected->family) << selected;
  EXPECT_EQ(getNtGeneration(), expected->generation) << selected;
}
