// drenvalisk-scan run as a child process on temporary folders: what it prints
// on stdout and stderr, its exit status, and what it does to the files.
#include <signal.h>
#include <sched.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "samples/pe_builder.h"
#include "tests/support/child_process.h"
#include "tests/support/expected_report.h"
#include "tests/support/scan_fixture.h"

namespace {

const std::string kBejName = "W32/Tarvolinex.Bej.Ransom.Trojan";
const std::string kUsage =
    "usage: drenvalisk-scan [--action delete|rename|report] [--yes|--no] [--log FILE] DIR...";

// Runs the scanner with `arguments`, stdin from /dev/null (so every question
// takes its default answer); see runChild for `onFirstOutput`.
ChildOutcome runScanner(const std::vector<std::string>& arguments,
                        const std::function<void(pid_t)>& onFirstOutput = nullptr) {
  return runChild(DRENVALISK_SCAN_BINARY, arguments, onFirstOutput);
}

}  // namespace

class CliTest : public ScanFixture {
 protected:
  // The scanner maps the folders itself; this process only writes the files.
  std::string c() const { return root_; }
};

TEST_F(CliTest, CleanFolderPrintsOnlyTheStatistics) {
  writeText("C:\\a.txt", "a");
  writeFile("C:\\dir\\clean.exe", buildCleanSample(38400, 5));

  ChildOutcome run = runScanner({c()});

  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(splitLines(run.out), statisticsBlock(2, 0, 0));
  EXPECT_EQ(run.out.back(), '\n');
  EXPECT_EQ(lastLine(run.err), "Scanning completed");
  EXPECT_EQ(run.err.back(), '\n');
}

TEST_F(CliTest, LogFileGetsEachRunsHeaderAndReportBesideStdout) {
  writeFile("C:\\Users\\me\\bej.exe", buildInfectedSample(builtInRecord(0)));
  const std::string log = mapDrive('L') + "/scan log.txt";
  std::ofstream(log) << "earlier content\n";

  ChildOutcome report = runScanner({"--log", log, root_});
  ChildOutcome removal = runScanner({"--action", "delete", "--log", log, root_});

  const std::vector<std::string> logged = splitLines(readText("L:\\scan log.txt"));
  ASSERT_EQ(logged.size(), 1 + 2 * 2 + splitLines(report.out).size() + splitLines(removal.out).size());
  EXPECT_EQ(logged[0], "earlier content");
  size_t at = 1;
  for (const auto& run : {std::make_pair(&report, "report"), std::make_pair(&removal, "delete")}) {
    const std::string& header = logged[at++];
    EXPECT_EQ(header.rfind("==== ", 0), 0u) << header;
    EXPECT_NE(header.find("drenvalisk-scan " DRENVALISK_VERSION "  mode: " + std::string(run.second)),
              std::string::npos) << header;
    EXPECT_NE(header.find("--log \"" + log + "\" " + root_), std::string::npos) << header;
    for (const std::string& line : splitLines(run.first->out)) EXPECT_EQ(logged[at++], line);
    EXPECT_EQ(logged[at++], "Scanning completed");
  }
  EXPECT_FALSE(exists("C:\\Users\\me\\bej.exe"));

  ChildOutcome unwritable = runScanner({"--log", root_ + "/missing/log.txt", root_});
  EXPECT_EQ(unwritable.exitCode, 2);
  EXPECT_EQ(lastLine(unwritable.err), "drenvalisk-scan: cannot write the log " + root_ +
                                          "/missing/log.txt: No such file or directory");
  EXPECT_TRUE(unwritable.out.empty());
}

TEST_F(CliTest, ActionsOnAnInfectedFile) {
  struct Case {
    std::vector<std::string> options;
    const char* lineEnd;
    int removed;
    bool remains;
  };
  const Case cases[] = {
      {{}, " not disinfected as per user's selection", 0, true},
      {{"--action", "report"}, " not disinfected as per user's selection", 0, true},
      {{"--action", "delete"}, " removed", 1, false},
      {{"--no", "--action", "delete"}, " removed", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lineEnd);
    writeFile("C:\\Users\\me\\bej.exe", buildInfectedSample(builtInRecord(0)));
    writeText("C:\\Users\\me\\notes.txt", "n");
    std::vector<std::string> arguments = c.options;
    arguments.push_back(root_);

    ChildOutcome run = runScanner(arguments);

    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> expected = {"C:\\Users\\me\\bej.exe     " + kBejName + c.lineEnd};
    for (const std::string& line : statisticsBlock(2, 1, c.removed)) expected.push_back(line);
    EXPECT_EQ(splitLines(run.out), expected);
    EXPECT_EQ(lastLine(run.err), "Scanning completed");
    EXPECT_EQ(exists("C:\\Users\\me\\bej.exe"), c.remains);
  }
}

TEST_F(CliTest, EachFolderBecomesADriveFromC) {
  writeFile("C:\\c.exe", buildInfectedSample(builtInRecord(0)));
  std::string second = mapDrive('D');
  writeFile("D:\\sub\\d.exe", buildInfectedSample(builtInRecord(0)));

  ChildOutcome run = runScanner({c(), second});

  EXPECT_EQ(run.exitCode, 1);
  std::vector<std::string> lines = splitLines(run.out);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "C:\\c.exe     " + kBejName + " not disinfected as per user's selection");
  EXPECT_EQ(lines[1], "D:\\sub\\d.exe     " + kBejName + " not disinfected as per user's selection");
  EXPECT_EQ(lines[5], "Total files scanned\t\t:  2");
}

TEST_F(CliTest, UsageErrorsAndFoldersThatCannotBeScanned) {
  writeFile("C:\\bej.exe", buildInfectedSample(builtInRecord(0)));
  writeText("C:\\plain.txt", "p");
  const std::string missing = root_ + "/does-not-exist";
  const std::string file = host("C:\\plain.txt");
  struct Case {
    std::vector<std::string> arguments;
    std::string firstLine;
    bool usageFollows;  // a usage error shows the usage line; a bad folder does not
  };
  const Case cases[] = {
      {{"--frobnicate", root_}, "drenvalisk-scan: unknown option '--frobnicate'", true},
      {{"--action", "delete", root_, "-x"}, "drenvalisk-scan: unknown option '-x'", true},
      {{"--action", "zap", root_}, "drenvalisk-scan: unknown action 'zap' (delete, rename or report)", true},
      {{"--action", "Delete", root_}, "drenvalisk-scan: unknown action 'Delete' (delete, rename or report)", true},
      {{"--action"}, "drenvalisk-scan: option '--action' needs a value", true},
      {{}, "drenvalisk-scan: no DIR given", true},
      {{"--action", "delete", missing}, "drenvalisk-scan: cannot scan " + missing + ": No such file or directory", false},
      {{"--action", "delete", root_, missing}, "drenvalisk-scan: cannot scan " + missing + ": No such file or directory", false},
      {{file}, "drenvalisk-scan: cannot scan " + file + ": not a folder", false},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument + " ";
    SCOPED_TRACE(shown);
    ChildOutcome run = runScanner(c.arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    std::vector<std::string> err = splitLines(run.err);
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err[0], c.firstLine);
    EXPECT_EQ(err, (c.usageFollows ? std::vector<std::string>{c.firstLine, kUsage}
                                   : std::vector<std::string>{c.firstLine}));
    // Nothing was scanned: the infected file is still there.
    EXPECT_TRUE(exists("C:\\bej.exe"));
  }
}

TEST_F(CliTest, HelpAndVersionGoToStdoutAndScanNothing) {
  writeFile("C:\\bej.exe", buildInfectedSample(builtInRecord(0)));

  ChildOutcome help = runScanner({"--action", "delete", "--help", root_});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.err, "");
  std::vector<std::string> lines = splitLines(help.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], kUsage);
  EXPECT_NE(help.out.find("--version"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status: 0 nothing found, 1 infections found, 2 usage error"),
            std::string::npos);

  ChildOutcome version = runScanner({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string("drenvalisk-scan ") + DRENVALISK_VERSION + "\n");
  EXPECT_EQ(version.err, "");

  EXPECT_TRUE(exists("C:\\bej.exe"));
}

TEST_F(CliTest, AfterDoubleDashAFolderMayBeginWithADash) {
  writeFile("C:\\-dash\\bej.exe", buildInfectedSample(builtInRecord(0)));
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(root_.c_str()), 0);

  ChildOutcome run = runScanner({"--", "-dash"});
  ASSERT_EQ(chdir(previous), 0);

  EXPECT_EQ(run.exitCode, 1);
  std::vector<std::string> lines = splitLines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "C:\\bej.exe     " + kBejName + " not disinfected as per user's selection");
}

TEST_F(CliTest, InterruptStopsTheScanAndStillPrintsTheStatistics) {
  // Enough report lines to fill the scanner's output buffer and the pipe
  // several times over: the first output proves the scan has begun, and the
  // scanner cannot finish before this side reads. Hard links keep it cheap.
  constexpr int kFiles = 2500;
  writeFile("C:\\many\\seed.bin", buildInfectedSample(builtInRecord(0)));
  const std::string seed = host("C:\\many\\seed.bin");
  for (int i = 0; i < kFiles; ++i) {
    char name[128];
    std::snprintf(name, sizeof name, "/sample_with_a_rather_long_name_for_longer_report_lines_%05d.exe", i);
    ASSERT_EQ(link(seed.c_str(), (root_ + "/many" + name).c_str()), 0);
  }

  // Interrupt while the scanner is blocked writing to the full pipe (the one
  // way it sleeps), so the signal breaks into a write of the report.
  ChildOutcome run = runScanner({c()}, [](pid_t child) {
    const std::string statPath = "/proc/" + std::to_string(child) + "/stat";
    for (;;) {
      std::ifstream in(statPath);
      std::string stat;
      if (!std::getline(in, stat)) break;
      size_t close = stat.rfind(')');
      if (close == std::string::npos || close + 2 >= stat.size()) break;
      char state = stat[close + 2];
      if (state == 'S' || state == 'Z' || state == 'X') break;
      sched_yield();
    }
    kill(child, SIGINT);
  });

  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(lastLine(run.err), "Scanning terminated");
  std::vector<std::string> lines = splitLines(run.out);
  ASSERT_GE(lines.size(), 6u);
  const std::vector<std::string> tail(lines.end() - 6, lines.end());
  ASSERT_EQ(tail[0], " ");
  ASSERT_EQ(tail[1], "Scanning statistics");
  int infected = std::atoi(tail[4].c_str() + std::strlen("Total files infected\t\t:  "));
  EXPECT_GT(infected, 0);
  EXPECT_LT(infected, kFiles + 1);
  // Every infection found before the stop has its line: nothing was lost.
  EXPECT_EQ(static_cast<int>(lines.size()) - 6, infected);
  for (size_t i = 0; i + 6 < lines.size(); ++i)
    ASSERT_NE(lines[i].find(kBejName + " not disinfected as per user's selection"), std::string::npos)
        << lines[i];
}
