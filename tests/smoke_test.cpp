#include "engine/driver.h"
#include "samples/pe_builder.h"
#include "tests/support/scan_fixture.h"

class DriverSmoke : public ScanFixture {};

TEST_F(DriverSmoke, DeletesAnInfectedSampleAndReportsStatistics) {
  writeFile("C:\\dir\\bej.exe", buildInfectedSample(builtInRecord(0)));
  writeFile("C:\\dir\\clean.exe", buildCleanSample(38400, 7));
  g_session.actionCode = kActionDelete;
  std::strcpy(g_session.scanTarget, "!:");
  runScan();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[0], "C:\\dir\\bej.exe     W32/Tarvolinex.Bej.Ransom.Trojan removed");
  EXPECT_FALSE(exists("C:\\dir\\bej.exe"));
  EXPECT_TRUE(exists("C:\\dir\\clean.exe"));
  EXPECT_EQ(lines.back(), "Total files removed\t\t:  1");
  EXPECT_EQ(statuses.back(), "Scanning completed");
}
