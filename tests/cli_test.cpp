// drenvalisk-scan run as a child process on temporary folders: what it prints
// on stdout and stderr, its exit status, and what it does to the files.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "samples/pe_builder.h"
#include "tests/support/scan_fixture.h"
#include "tests/support/expected_report.h"

#ifndef DRENVALISK_SCAN_BINARY
#error "DRENVALISK_SCAN_BINARY must name the built drenvalisk-scan"
#endif

namespace {

const std::string kBejName = "W32/Tarvolinex.Bej.Ransom.Trojan";

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string lastLine(const std::string& text) {
  std::vector<std::string> lines = splitLines(text);
  return lines.empty() ? std::string() : lines.back();
}

// Runs the scanner with `arguments`, stdin from /dev/null (so every question
// takes its default answer). `onFirstOutput`, when given, is called once as
// soon as stdout has data, before any of it is read.
template <typename Hook>
Outcome runScanner(const std::vector<std::string>& arguments, Hook onFirstOutput) {
  Outcome outcome;
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return outcome;
  std::vector<char*> argv;
  std::string binary = DRENVALISK_SCAN_BINARY;
  argv.push_back(binary.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = fork();
  if (child == 0) {
    int input = open("/dev/null", O_RDONLY);
    dup2(input, 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);

  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  bool hooked = false;
  int open = 2;
  char buffer[8192];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) continue;
    if (!hooked && (fds[0].revents & (POLLIN | POLLHUP))) {
      hooked = true;
      onFirstOutput(child);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

Outcome runScanner(const std::vector<std::string>& arguments) {
  return runScanner(arguments, [](pid_t) {});
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

  Outcome run = runScanner({c()});

  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(splitLines(run.out), statisticsBlock(2, 0, 0));
  EXPECT_EQ(run.out.back(), '\n');
  EXPECT_EQ(lastLine(run.err), "Scanning completed");
  EXPECT_EQ(run.err.back(), '\n');
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

    Outcome run = runScanner(arguments);

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

  Outcome run = runScanner({c(), second});

  EXPECT_EQ(run.exitCode, 1);
  std::vector<std::string> lines = splitLines(run.out);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "C:\\c.exe     " + kBejName + " not disinfected as per user's selection");
  EXPECT_EQ(lines[1], "D:\\sub\\d.exe     " + kBejName + " not disinfected as per user's selection");
  EXPECT_EQ(lines[5], "Total files scanned\t\t:  2");
}

TEST_F(CliTest, UsageErrorsAndFoldersThatCannotBeScanned) {
  writeText("C:\\plain.txt", "p");
  const std::string missing = root_ + "/does-not-exist";
  const std::string file = host("C:\\plain.txt");
  struct Case {
    std::vector<std::string> arguments;
    std::string firstLine;
  };
  const Case cases[] = {
      {{"--frobnicate", root_}, "usage: drenvalisk-scan [--action delete|rename|report] [--yes|--no] DIR..."},
      {{"--action", "shred", root_}, "usage: drenvalisk-scan [--action delete|rename|report] [--yes|--no] DIR..."},
      {{"--action"}, "usage: drenvalisk-scan [--action delete|rename|report] [--yes|--no] DIR..."},
      {{}, "drenvalisk-scan: no DIR given"},
      {{missing}, "drenvalisk-scan: cannot scan " + missing + ": No such file or directory"},
      {{root_, missing}, "drenvalisk-scan: cannot scan " + missing + ": No such file or directory"},
      {{file}, "drenvalisk-scan: cannot scan " + file + ": not a folder"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument + " ";
    SCOPED_TRACE(shown);
    Outcome run = runScanner(c.arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    std::vector<std::string> err = splitLines(run.err);
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err[0], c.firstLine);
  }
  // A folder that cannot be scanned is named on one line, without the usage.
  EXPECT_EQ(splitLines(runScanner({missing}).err).size(), 1u);
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
  Outcome run = runScanner({c()}, [](pid_t child) {
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
