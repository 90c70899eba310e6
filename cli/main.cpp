// drenvalisk-scan: the console front end. Runs the tool's ordinary scan and
// prints the report list on stdout, the status on stderr.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "platform/messages.h"
#include "platform/system.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include "platform/host/sim_machine.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: drenvalisk-scan [--action delete|rename|report] [--yes|--no] DIR...\n";

struct Options {
  int actionCode = kActionReport;
  int answer = 0;  // 0 ask on a terminal (else No), 1 yes, -1 no
  std::vector<std::string> folders;
};

bool g_statusLive = false;
bool g_statusShown = false;  // the live status line is on the screen
bool g_outputIsTerminal = false;
int g_answer = 0;
std::chrono::steady_clock::time_point g_lastStatus;

// Takes the live status line off the screen before anything else is written.
void clearStatus() {
  if (!g_statusShown) return;
  std::fputs("\r\033[K", stderr);
  g_statusShown = false;
}

void printLine(const char* line) {
  if (g_outputIsTerminal) clearStatus();
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
}

// On a terminal the label is one live line, redrawn at most ten times a second.
void printStatus(const char* status) {
  if (!g_statusLive) return;
  auto now = std::chrono::steady_clock::now();
  if (now - g_lastStatus < std::chrono::milliseconds(100)) return;
  g_lastStatus = now;
  std::fprintf(stderr, "\r\033[K%s", status);
  std::fflush(stderr);
  g_statusShown = true;
}

// Questions are asked on the terminal; otherwise --yes/--no answers, and No
// (or Cancel) is the default.
int confirm(const char* text, const char* /*caption*/, unsigned style) {
  bool yes = false;
  if (g_answer == 1) {
    yes = true;
  } else if (g_answer == 0 && standardInputIsTerminal()) {
    std::fflush(stdout);
    clearStatus();
    std::fprintf(stderr, "%s [y/N] ", text);
    std::fflush(stderr);
    char reply[16] = {};
    yes = std::fgets(reply, sizeof reply, stdin) && (reply[0] == 'y' || reply[0] == 'Y');
  }
  if ((style & 0x0F) == kMbOkCancel) return yes ? kIdOk : kIdCancel;
  return yes ? kIdYes : kIdNo;
}

bool parseArguments(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--action" && i + 1 < argc) {
      std::string action = argv[++i];
      if (action == "delete") options->actionCode = kActionDelete;
      else if (action == "rename") options->actionCode = kActionRename;
      else if (action == "report") options->actionCode = kActionReport;
      else return false;
    } else if (argument == "--yes") {
      options->answer = 1;
    } else if (argument == "--no") {
      options->answer = -1;
    } else if (!argument.empty() && argument[0] == '-') {
      return false;
    } else {
      options->folders.push_back(argument);
    }
  }
  return true;
}

int failUsage(const char* message) {
  if (message) std::fprintf(stderr, "drenvalisk-scan: %s\n", message);
  std::fputs(kUsage, stderr);
  return 2;
}

int failFolder(const std::string& folder, const char* why) {
  std::fprintf(stderr, "drenvalisk-scan: cannot scan %s: %s\n", folder.c_str(), why);
  return 2;
}

// Sets the scan target from the folders; 0 when they can be scanned.
int chooseTarget(const Options& options) {
#ifdef _WIN32
  if (options.folders.size() > 1) return failUsage("the Win32 scanner takes at most one DIR");
  if (options.folders.empty()) {
    copyText(g_session.scanTarget, "!:", sizeof g_session.scanTarget);
    return 0;
  }
  std::string folder = options.folders[0];
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  if (folder.size() + 4 >= sizeof g_session.scanTarget) return failFolder(folder, "path too long");
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return failFolder(folder, "no such folder");
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return failFolder(folder, "not a folder");
  if (folder.back() == '\\') folder.pop_back();  // "C:\" walks as "C:\*.*"
  copyText(g_session.scanTarget, folder.c_str(), sizeof g_session.scanTarget);
  return 0;
#else
  if (options.folders.empty()) return failUsage("no DIR given");
  if (options.folders.size() > 24) return failUsage("at most 24 DIRs (drives C: to Z:)");
  char letter = 'C';
  for (const std::string& folder : options.folders) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return failFolder(folder, std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return failFolder(folder, "not a folder");
    hostMapDrive(letter++, folder);
  }
  copyText(g_session.scanTarget, "!:", sizeof g_session.scanTarget);
  return 0;
#endif
}

// The memory stage ends the program when it found the trojan running on the
// NT family; the console still closes its output the usual way.
void endAfterMemoryStage(int) {
  std::fflush(stdout);
  clearStatus();
  std::fputs("The trojan was found running; run the scan again after the restart.\n", stderr);
  std::fputs("Scanning terminated\n", stderr);
  std::exit(g_session.filesInfected > 0 ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseArguments(argc, argv, &options)) return failUsage(nullptr);
  if (int failed = chooseTarget(options)) return failed;

  // A report read by a person shows each line at once; one read by a program
  // is written in large blocks.
  static char outputBuffer[1 << 16];
  g_outputIsTerminal = standardOutputIsTerminal();
  std::setvbuf(stdout, outputBuffer, g_outputIsTerminal ? _IOLBF : _IOFBF, sizeof outputBuffer);
  g_statusLive = standardErrorIsTerminal();
  g_answer = options.answer;
  bindReportChannel(ReportSink{printLine, printStatus});
  bindConfirmBox(confirm);
  installInterruptHandler();
  setExitHook(endAfterMemoryStage);

  // The report sink stands in for the dialog's window: any non-null handle.
  g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
  g_session.actionCode = options.actionCode;
  g_session.scanRunning = 1;
  g_session.stopRequested = 0;
  runScan();
  g_session.scanRunning = 0;

  std::fflush(stdout);
  clearStatus();
  std::fprintf(stderr, "%s\n", g_session.statusText);
  return g_session.filesInfected > 0 ? 1 : 0;
}
