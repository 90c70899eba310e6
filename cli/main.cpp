// drenvalisk-scan: the console front end. Runs the tool's ordinary scan and
// prints the report list on stdout, the status on stderr.
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "platform/console.h"
#include "platform/file_io.h"
#include "platform/messages.h"
#include "platform/system.h"

namespace {

constexpr const char* kProgram = "drenvalisk-scan";

struct Options {
  int actionCode = kActionReport;
  int answer = 0;  // 0 ask on a terminal (else No), 1 yes, -1 no
  bool help = false;
  bool version = false;
  std::string logFile;  // --log: appended to, beside stdout
  std::vector<std::string> folders;
};

bool g_statusLive = false;
bool g_statusShown = false;  // the live status line is on the screen
bool g_outputIsTerminal = false;
int g_answer = 0;
std::chrono::steady_clock::time_point g_lastStatus;
std::FILE* g_log = nullptr;

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
  if (g_log) {
    // Each line reaches the file as it is reported: an interrupted run still
    // leaves the record of what was done.
    std::fputs(line, g_log);
    std::fputc('\n', g_log);
    std::fflush(g_log);
  }
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

// One command-line option: its name, whether a value follows it, and what it
// sets; `apply` returns an error message, or "" when the option is accepted.
struct OptionRule {
  const char* name;
  bool takesValue;
  std::string (*apply)(Options* options, const std::string& value);
};

std::string setLog(Options* options, const std::string& file) {
  if (file.empty()) return "option '--log' needs a file name";
  options->logFile = file;
  return "";
}

std::string setAction(Options* options, const std::string& action) {
  if (action == "delete") options->actionCode = kActionDelete;
  else if (action == "rename") options->actionCode = kActionRename;
  else if (action == "report") options->actionCode = kActionReport;
  else return "unknown action '" + action + "' (delete, rename or report)";
  return "";
}

const OptionRule kOptions[] = {
    {"--action", true, setAction},
    {"--log", true, setLog},
    {"--yes", false, [](Options* o, const std::string&) { o->answer = 1; return std::string(); }},
    {"--no", false, [](Options* o, const std::string&) { o->answer = -1; return std::string(); }},
    {"--help", false, [](Options* o, const std::string&) { o->help = true; return std::string(); }},
    {"--version", false, [](Options* o, const std::string&) { o->version = true; return std::string(); }},
};

const OptionRule* findOption(const std::string& name) {
  for (const OptionRule& option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

// Reads the command line into `options`; returns an error message, or "".
// Arguments after "--" are folders even when they begin with "-".
std::string parseArguments(int argc, char** argv, Options* options) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument.empty() || argument[0] != '-') {
      options->folders.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionRule* rule = findOption(argument);
    if (!rule) return "unknown option '" + argument + "'";
    std::string value;
    if (rule->takesValue) {
      if (i + 1 >= argc) return "option '" + argument + "' needs a value";
      value = argv[++i];
    }
    std::string error = rule->apply(options, value);
    if (!error.empty()) return error;
  }
  return "";
}

std::string usageLine() {
  return std::string("usage: ") + kProgram +
         " [--action delete|rename|report] [--yes|--no] [--log FILE] " +
         scanFoldersSynopsis() + "\n";
}

void printHelp() {
  std::fputs(usageLine().c_str(), stdout);
  std::fputs("Scans for the W32/Tarvolinex trojans: prints the report list on stdout and the\n"
             "status on stderr.\n",
             stdout);
  std::fputs(scanFoldersHelp(), stdout);
  std::fputs("  --action ACTION   delete: remove infected files; rename: change the character\n"
             "                    after their last \".\" to \"V\"; report (the default): change\n"
             "                    nothing\n"
             "  --yes, --no       the answer to questions (restart) when there is no terminal\n"
             "                    to ask on; the default is No\n"
             "  --log FILE        also append the report list to FILE, after a line giving\n"
             "                    the date, the version, the command line and the action\n"
             "  --help            this text\n"
             "  --version         the program's name and version\n"
             "Exit status: 0 nothing found, 1 infections found, 2 usage error or a DIR that\n"
             "cannot be scanned.\n",
             stdout);
}

int failUsage(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  std::fputs(usageLine().c_str(), stderr);
  return 2;
}

// Sets the scan target from the folders; 0 when they can be scanned.
int chooseTarget(const Options& options) {
  const ScanTarget chosen = prepareScanTarget(options.folders, sizeof g_session.scanTarget);
  switch (chosen.status) {
    case ScanTarget::Status::UsageError:
      return failUsage(chosen.message);
    case ScanTarget::Status::FolderError:
      std::fprintf(stderr, "%s: cannot scan %s: %s\n", kProgram, chosen.folder.c_str(),
                   chosen.message.c_str());
      return 2;
    case ScanTarget::Status::Ready:
      break;
  }
  copyText(g_session.scanTarget, chosen.target.c_str(), sizeof g_session.scanTarget);
  return 0;
}

const char* actionName(int actionCode) {
  switch (actionCode) {
    case kActionDelete: return "delete";
    case kActionRename: return "rename";
    default: return "report";
  }
}

// The command line as typed, arguments with blanks or quotes in double quotes.
std::string commandLine(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string argument = argv[i];
    if (i) line += ' ';
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
      line += argument;
      continue;
    }
    line += '"';
    for (char c : argument) line += c == '"' ? std::string("\\\"") : std::string(1, c);
    line += '"';
  }
  return line;
}

// Opens the log for appending and writes the run's header line; false (with
// a message) when it cannot be written.
bool openLog(const Options& options, int argc, char** argv) {
  g_log = std::fopen(options.logFile.c_str(), "ab");
  if (!g_log) {
    std::fprintf(stderr, "%s: cannot write the log %s: %s\n", kProgram, options.logFile.c_str(),
                 std::strerror(errno));
    return false;
  }
  char date[32];
  std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::fprintf(g_log, "==== %s  %s %s  mode: %s  command: %s\n", date, kProgram,
               DRENVALISK_VERSION, actionName(options.actionCode), commandLine(argc, argv).c_str());
  return std::fflush(g_log) == 0;
}

// Ends the log's record of this run with the final status.
void closeLog() {
  if (!g_log) return;
  std::fprintf(g_log, "%s\n", g_session.statusText);
  std::fclose(g_log);
  g_log = nullptr;
}

// The memory stage ends the program when it found the trojan running on the
// NT family; the console still closes its output the usual way.
void endAfterMemoryStage(int) {
  std::fflush(stdout);
  clearStatus();
  std::fputs("The trojan was found running; run the scan again after the restart.\n", stderr);
  std::fputs("Scanning terminated\n", stderr);
  copyText(g_session.statusText, "Scanning terminated", sizeof g_session.statusText);
  closeLog();
  std::exit(g_session.filesInfected > 0 ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string error = parseArguments(argc, argv, &options);
  if (!error.empty()) return failUsage(error);
  if (options.help) {
    printHelp();
    return 0;
  }
  if (options.version) {
    std::printf("%s %s\n", kProgram, DRENVALISK_VERSION);  // from the top CMakeLists.txt
    return 0;
  }
  if (int failed = chooseTarget(options)) return failed;
  if (!options.logFile.empty() && !openLog(options, argc, argv)) return 2;

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
  const std::string note = scanEndNote();
  if (!note.empty()) {
    std::fprintf(stderr, "%s\n", note.c_str());
    if (g_log) std::fprintf(g_log, "%s\n", note.c_str());
  }
  std::fprintf(stderr, "%s\n", g_session.statusText);
  closeLog();
  return g_session.filesInfected > 0 ? 1 : 0;
}
