// gui-remote: looks at and drives a running drenvalisk.exe from a second
// process, the way a person at the screen would: it finds the main window by
// its caption, reads the status label and the report list, clicks buttons
// (posted BM_CLICK), and reads and answers the program's questions. Scripts
// chain its commands; each prints what it saw on stdout and exits 0 when the
// thing it waited for came, 1 when not.
//
//   gui-remote wait-window [MS]   the main window is up and shows SCAN enabled
// Controls are named as res/resource.h names them (IDC_SCAN_BUTTON, IDOK, ...).
//
//   gui-remote click NAME         clicks the main window's button NAME
//   gui-remote wait-end [MS]      waits for the scan's end, a question or the
//                                 program's end: prints "finished STATUS",
//                                 "question" or "gone"
//   gui-remote status             the status label
//   gui-remote list               the report list, one line each
//   gui-remote question [MS]      waits for a question; prints its caption,
//                                 message (line breaks as \n), visible buttons
//                                 and icon (information, question, warning,
//                                 error, or none)
//   gui-remote answer NAME        clicks the question's button NAME; a Yes or OK
//                                 to a question about restarting is refused
//                                 (exit 3): nothing here ever restarts
//   gui-remote text NAME          one of the program's own texts (engine/texts.h:
//                                 kProductTitle, kRestartQuestion, ...), line
//                                 breaks as \n
//   gui-remote windows            how many main windows of the program are up
//   gui-remote rect               the main window's outline on the screen:
//                                 left top width height
//   gui-remote bench [MS]         presses SCAN and, until the scan's end, sends
//                                 the window WM_NULL every 20 ms from a second
//                                 thread; prints the answer times and the
//                                 scan's wall time
//
// The program's list and label hold ANSI text; across processes Wine hands
// list lines back in UTF-16, so they are read with the wide calls and printed
// in the ANSI code page, byte for byte what the console front end prints.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/texts.h"
#include "res/resource.h"
#include "tests/win32/gui/gui_remote.h"

namespace {

DWORD argumentMs(int argc, char** argv, int index, DWORD fallback) {
  return argc > index ? DWORD(std::strtoul(argv[index], nullptr, 10)) : fallback;
}

int waitWindow(DWORD milliseconds) {
  bool up = waitFor(milliseconds, [] {
    HWND main = mainWindow();
    return main && clickable(GetDlgItem(main, IDC_SCAN_BUTTON));
  });
  return up ? 0 : 1;
}

int clickButton(int id) {
  HWND main = mainWindow();
  HWND button = main ? GetDlgItem(main, id) : nullptr;
  if (!clickable(button)) {
    std::fprintf(stderr, "gui-remote: button %d is not there to click\n", id);
    return 1;
  }
  PostMessageA(button, BM_CLICK, 0, 0);
  return 0;
}

int waitEnd(DWORD milliseconds) {
  const char* outcome = nullptr;
  std::string status;
  waitFor(milliseconds, [&] {
    HWND main = mainWindow();
    if (!main) {
      outcome = "gone";
    } else if (questionWindow(main)) {
      outcome = "question";
    } else if (showsEnd(main)) {
      outcome = "finished";
      status = narrow(textOf(GetDlgItem(main, IDC_STATUS_LABEL)));
    }
    return outcome != nullptr;
  });
  if (!outcome) return 1;
  std::printf("%s%s%s\n", outcome, status.empty() ? "" : " ", status.c_str());
  return 0;
}

int printStatus() {
  HWND main = mainWindow();
  if (!main) return 1;
  std::printf("%s\n", narrow(textOf(GetDlgItem(main, IDC_STATUS_LABEL))).c_str());
  return 0;
}

// Reads every line of the report list; false when the program does not answer.
bool readList(HWND main, std::vector<std::string>* lines) {
  HWND list = GetDlgItem(main, IDC_REPORT_LIST);
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, kSendTimeout, &count)) return false;
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, kSendTimeout, &length))
      return false;
    std::wstring line(size_t(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&line[0]), SMTO_NORMAL,
                             kSendTimeout, &copied))
      return false;
    line.resize(wcslen(line.c_str()));
    lines->push_back(narrow(line));
  }
  return true;
}

int printList() {
  HWND main = mainWindow();
  std::vector<std::string> lines;
  if (!main || !readList(main, &lines)) return 1;
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  return 0;
}

std::string escapedBreaks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

int describeQuestion(DWORD milliseconds) {
  HWND question = nullptr;
  if (!waitFor(milliseconds, [&] { return (question = questionWindow(mainWindow())) != nullptr; }))
    return 1;
  HWND picture = GetDlgItem(question, IDC_ICON_PICTURE);
  // The picture is painted after the dialog shows: look until an icon is there.
  const char* icon = "none";
  waitFor(3000, [&] { return std::strcmp(icon = iconShown(picture), "none") != 0; });
  std::string buttons;
  for (int id : {IDOK, IDCANCEL, IDC_OK_ONLY_BUTTON, IDC_YES_BUTTON, IDC_NO_BUTTON}) {
    HWND button = GetDlgItem(question, id);
    if (!shown(button)) continue;
    if (!buttons.empty()) buttons += ' ';
    buttons += narrow(textOf(button));
  }
  std::printf("caption=%s\n", narrow(textOf(question)).c_str());
  std::printf("message=%s\n", escapedBreaks(narrow(textOf(GetDlgItem(question, IDC_MESSAGE_TEXT)))).c_str());
  std::printf("buttons=%s\n", buttons.c_str());
  std::printf("icon=%s\n", icon);
  return 0;
}

bool mentionsRestart(const std::string& message) {
  std::string lower = message;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("restart") != std::string::npos;
}

int answerQuestion(int id) {
  HWND question = questionWindow(mainWindow());
  if (!question) {
    std::fprintf(stderr, "gui-remote: no question is open\n");
    return 1;
  }
  std::string message = narrow(textOf(GetDlgItem(question, IDC_MESSAGE_TEXT)));
  bool agrees = id == IDOK || id == IDC_OK_ONLY_BUTTON || id == IDC_YES_BUTTON;
  if (agrees && mentionsRestart(message)) {
    std::fprintf(stderr, "gui-remote: refusing to agree to a restart\n");
    return 3;
  }
  HWND button = GetDlgItem(question, id);
  if (!clickable(button)) {
    std::fprintf(stderr, "gui-remote: the question has no button %d to click\n", id);
    return 1;
  }
  PostMessageA(button, BM_CLICK, 0, 0);
  return waitFor(10000, [&] { return !IsWindow(question) || !IsWindowVisible(question); }) ? 0 : 1;
}

struct NamedText {
  const char* name;
  const char* text;
};
#define NAMED(text) {#text, text}
const NamedText kTexts[] = {
    NAMED(kProductTitle),     NAMED(kStopQuestion),    NAMED(kRestartQuestion),
    NAMED(kMemoryRestartQuestion), NAMED(kMemoryRemovedLine), NAMED(kStatusCompleted),
    NAMED(kStatusTerminated),
};
#undef NAMED

int printText(const std::string& name) {
  for (const NamedText& text : kTexts) {
    if (name != text.name) continue;
    std::printf("%s\n", escapedBreaks(text.text).c_str());
    return 0;
  }
  std::fprintf(stderr, "gui-remote: no text named %s\n", name.c_str());
  return 2;
}

// The id of a control named on the command line; -1 (and a message) for a
// name res/resource.h does not give.
int namedId(const char* name) {
  int id = controlNamed(name);
  if (id < 0) std::fprintf(stderr, "gui-remote: no control named %s\n", name);
  return id;
}

int countWindows() {
  std::printf("%d\n", mainWindowCount());
  return 0;
}

int printRect() {
  HWND main = mainWindow();
  if (!main) return 1;
  RECT rect = {};
  GetWindowRect(main, &rect);
  // The window shows only inside its region (the skin's outline).
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  RECT box = {};
  if (GetWindowRgn(main, region) != ERROR && GetRgnBox(region, &box) != ERROR && box.right > box.left) {
    rect = {rect.left + box.left, rect.top + box.top, rect.left + box.right, rect.top + box.bottom};
  }
  DeleteObject(region);
  std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  return 0;
}

int usage() {
  std::fputs("usage: gui-remote wait-window|click|wait-end|status|list|question|answer|text|windows|rect|bench"
             " [ARG]\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  if (command == "wait-window") return waitWindow(argumentMs(argc, argv, 2, 20000));
  if (command == "click" && argc > 2) {
    int id = namedId(argv[2]);
    return id < 0 ? 2 : clickButton(id);
  }
  if (command == "wait-end") return waitEnd(argumentMs(argc, argv, 2, 120000));
  if (command == "status") return printStatus();
  if (command == "list") return printList();
  if (command == "question") return describeQuestion(argumentMs(argc, argv, 2, 20000));
  if (command == "answer" && argc > 2) {
    int id = namedId(argv[2]);
    return id < 0 ? 2 : answerQuestion(id);
  }
  if (command == "text" && argc > 2) return printText(argv[2]);
  if (command == "windows") return countWindows();
  if (command == "rect") return printRect();
  if (command == "bench") return benchScan(argumentMs(argc, argv, 2, 600000));
  return usage();
}
