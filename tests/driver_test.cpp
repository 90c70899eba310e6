// One whole scan: which drives are walked, the Program Files fallback, the
// statistics block, the final status word and the restart offer.
#include "engine/driver.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "engine/session.h"
#include "platform/messages.h"
#include "samples/pe_builder.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/expected_report.h"
#include "tests/support/scan_fixture.h"
#include "tests/support/test_machine.h"

namespace {

const char* const kExpectedRestartQuestion =
    "The system has to be restarted to remove the virus completely from your system. \n\n "
    "Restart now?";

}  // namespace

class DriverTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    std::strcpy(g_session.scanTarget, "!:");
    g_session.actionCode = kActionDelete;
    stopAt.clear();
  }
  void TearDown() override {
    EXPECT_EQ(simMachine().openSearches, 0) << "a search handle was left open";
    ScanFixture::TearDown();
  }

  bool shown(const std::string& status) const {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
  }
  size_t shownAt(const std::string& status) const {
    return static_cast<size_t>(std::find(statuses.begin(), statuses.end(), status) - statuses.begin());
  }
  // The user presses Escape while `status` is shown (answered by confirmAnswer).
  void escapeWhenShown(const std::string& status) {
    stopAt = status;
    bindReportChannel(ReportSink{[](const char* line) { lines.push_back(line); },
                                 [](const char* text) {
                                   statuses.push_back(text);
                                   if (text == stopAt)
                                     simMachine().messageQueue.push_back(
                                         Message{nullptr, kMsgKeyDown, kVkEscape, 0});
                                 }});
  }
  static std::string stopAt;
};

std::string DriverTest::stopAt;

TEST_F(DriverTest, CleanMachineWithOnlyDriveC) {
  writeText("C:\\a.txt", "a");
  writeFile("C:\\dir\\clean.exe", buildCleanSample(38400, 11));

  EXPECT_EQ(runScan(), 1);

  EXPECT_EQ(lines, statisticsBlock(2, 0, 0));
  ASSERT_FALSE(statuses.empty());
  EXPECT_EQ(statuses.back(), "Scanning completed");
  EXPECT_TRUE(shown("C:\\dir\\clean.exe"));
  EXPECT_EQ(g_session.scanFinished, 1);
  EXPECT_EQ(g_session.memoryCheckMode, 0);  // the memory stage ran first
  EXPECT_TRUE(questions.empty());
}

TEST_F(DriverTest, InfectionsPutABlankLineBeforeTheStatistics) {
  struct Case {
    int action;
    const char* lineEnd;
    int removed;
    bool remains;
  };
  const Case cases[] = {
      {kActionDelete, " removed", 1, false},
      {kActionReport, " not disinfected as per user's selection", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    resetScanSession();
    std::strcpy(g_session.scanTarget, "!:");
    g_session.actionCode = c.action;
    lines.clear();
    writeFile("C:\\bin\\bej.exe", buildInfectedSample(builtInRecord(0)));
    writeText("C:\\bin\\notes.txt", "n");

    runScan();

    std::vector<std::string> expected = {"C:\\bin\\bej.exe     W32/Tarvolinex.Bej.Ransom.Trojan" +
                                         std::string(c.lineEnd)};
    for (const std::string& line : statisticsBlock(2, 1, c.removed)) expected.push_back(line);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(exists("C:\\bin\\bej.exe"), c.remains);
  }
}

TEST_F(DriverTest, CountersCarryOverToASecondScan) {
  writeText("C:\\a.txt", "a");
  runScan();
  lines.clear();
  runScan();
  EXPECT_EQ(lines, statisticsBlock(2, 0, 0));
}

TEST_F(DriverTest, EmptyTargetSkipsMemoryStageAndWalk) {
  writeText("C:\\a.txt", "a");
  g_session.scanTarget[0] = 0;

  runScan();

  EXPECT_EQ(lines, statisticsBlock(0, 0, 0));
  EXPECT_EQ(statuses, std::vector<std::string>{"Scanning completed"});
  EXPECT_EQ(g_session.memoryCheckMode, 1);
  EXPECT_EQ(g_session.scanFinished, 1);
}

TEST_F(DriverTest, FolderTargetWalksOnlyThatFolder) {
  writeText("C:\\outside.txt", "o");
  writeText("C:\\dir\\in.txt", "i");
  writeText("C:\\dir\\sub\\deeper.txt", "d");
  std::strcpy(g_session.scanTarget, "C:\\dir");

  runScan();

  EXPECT_EQ(g_session.filesScanned, 2);
  EXPECT_EQ(statuses.front(), "C:\\dir\\.");
  EXPECT_TRUE(shown("C:\\dir\\sub\\deeper.txt"));
  EXPECT_FALSE(shown("C:\\outside.txt"));
}

TEST_F(DriverTest, OnlyFixedDrivesFromCToZInLetterOrder) {
  std::ofstream(mapDrive('Z') + "/z.txt") << "z";
  std::ofstream(mapDrive('A') + "/a.txt") << "a";  // A: and B: are never considered
  std::ofstream(mapDrive('B') + "/b.txt") << "b";
  std::ofstream(mapDrive('D') + "/d.txt") << "d";
  writeText("C:\\c.txt", "c");

  runScan();

  EXPECT_EQ(g_session.filesScanned, 3);
  EXPECT_FALSE(shown("A:\\a.txt"));
  EXPECT_FALSE(shown("B:\\b.txt"));
  ASSERT_TRUE(shown("C:\\c.txt"));
  ASSERT_TRUE(shown("D:\\d.txt"));
  ASSERT_TRUE(shown("Z:\\z.txt"));
  EXPECT_LT(shownAt("C:\\c.txt"), shownAt("D:\\d.txt"));
  EXPECT_LT(shownAt("D:\\d.txt"), shownAt("Z:\\z.txt"));
}

TEST_F(DriverTest, StopInDriveCEndsTheScanWithStatisticsSoFar) {
  writeText("C:\\c1.txt", "1");
  writeText("C:\\c2.txt", "2");
  writeText("C:\\c3.txt", "3");
  writeText("C:\\sub\\c4.txt", "4");
  std::ofstream(mapDrive('D') + "/d.txt") << "d";
  std::ofstream(mapDrive('E') + "/e.txt") << "e";
  confirmAnswer = kIdYes;
  escapeWhenShown("C:\\c2.txt");

  runScan();

  EXPECT_EQ(questions, std::vector<std::string>{"Terminate the Scan now?"});
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_EQ(statuses[statuses.size() - 2], "C:\\c2.txt");
  EXPECT_EQ(statuses.back(), "Scanning terminated");
  EXPECT_EQ(lines, statisticsBlock(2, 0, 0));
  EXPECT_EQ(g_session.scanFinished, 1);
}

TEST_F(DriverTest, StopRequestedBeforeTheWalkReachesNoDrive) {
  writeText("C:\\c.txt", "c");
  std::ofstream(mapDrive('D') + "/d.txt") << "d";
  g_session.stopRequested = 1;

  runScan();

  EXPECT_EQ(statuses, std::vector<std::string>{"Scanning terminated"});
  EXPECT_EQ(lines, statisticsBlock(0, 0, 0));
}

TEST_F(DriverTest, ProgramFilesInAnyLetterCaseIsScannedOnce) {
  // Folder names are compared ignoring case: a Program Files folder stored in
  // capitals counts as entered, so the fallback does not walk it a second time.
  writeFile("C:\\PROGRAM FILES\\app\\evil.exe", buildInfectedSample(builtInRecord(0)));
  writeText("C:\\PROGRAM FILES\\p.txt", "p");
  const std::string name = builtInRecord(0).name;

  runScan();

  std::vector<std::string> expected = {"C:\\PROGRAM FILES\\app\\evil.exe     " + name + " removed"};
  for (const std::string& line : statisticsBlock(2, 1, 1)) expected.push_back(line);
  EXPECT_EQ(lines, expected);
  EXPECT_FALSE(shown("C:\\Program Files\\p.txt"));
}

TEST_F(DriverTest, NoFallbackOnceAnyDriveEnteredProgramFiles) {
  writeText("C:\\Program Files\\p.txt", "p");
  std::string d = mapDrive('D');
  writeText("D:\\program files\\q.txt", "q");
  ASSERT_TRUE(exists("D:\\program files\\q.txt")) << d;

  runScan();

  EXPECT_EQ(g_session.programFilesSeen, 1);
  EXPECT_EQ(g_session.filesScanned, 2);  // each file once
  EXPECT_FALSE(shown("D:\\Program Files\\q.txt"));
  EXPECT_EQ(g_session.programFilesPending, 1);  // cleared only by a fallback walk
}

TEST_F(DriverTest, RestartOfferedOnlyWhenNeeded) {
  struct Case {
    int restartNeeded;
    int answer;
    size_t asked;
    size_t restarts;
  };
  const Case cases[] = {{0, kIdYes, 0, 0}, {1, kIdNo, 1, 0}, {1, kIdYes, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.restartNeeded << " answer " << c.answer);
    resetScanSession();
    resetTestMachine();
    hostMapDrive('C', root_);
    std::strcpy(g_session.scanTarget, "!:");
    g_session.restartNeeded = c.restartNeeded;
    questions.clear();
    statuses.clear();
    confirmAnswer = c.answer;

    runScan();

    ASSERT_EQ(questions.size(), c.asked);
    if (c.asked) {
      EXPECT_EQ(questions[0], kExpectedRestartQuestion);
    }
    EXPECT_EQ(simMachine().restartRequests.size(), c.restarts);
    EXPECT_EQ(statuses.back(), "Scanning completed");
  }
}

TEST_F(DriverTest, FileLeftForRestartBringsTheRestartQuestion) {
  writeFile("C:\\bin\\stuck.exe", buildInfectedSample(builtInRecord(0)));
  simMachine().failDeletes[simPathKey("C:\\bin\\stuck.exe")] = -1;
  simMachine().platformId = 2;  // NT: removal at restart through MoveFileEx
  simMachine().majorVersion = 5;
  confirmAnswer = kIdNo;

  runScan();

  EXPECT_NE(g_session.restartNeeded, 0);
  EXPECT_EQ(questions, std::vector<std::string>{kExpectedRestartQuestion});
  EXPECT_TRUE(simMachine().restartRequests.empty());
}
