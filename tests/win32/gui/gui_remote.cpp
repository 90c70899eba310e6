// gui-remote: looks at and drives a running drenvalisk.exe from a second
// process, the way a person at the screen would: it finds the main window by
// its caption, reads the status label and the report list, clicks buttons
// (posted BM_CLICK), and reads and answers the program's questions. Scripts
// chain its commands; each prints what it saw on stdout and exits 0 when the
// thing it waited for came, 1 when not.
//
//   gui-remote wait-window [MS]   the main window is up and shows SCAN enabled
//   gui-remote click ID           clicks the main window's button ID
//   gui-remote wait-end [MS]      waits for the scan's end, a question or the
//                                 program's end: prints "finished STATUS",
//                                 "question" or "gone"
//   gui-remote status             the status label
//   gui-remote list               the report list, one line each
//   gui-remote question [MS]      waits for a question; prints its caption,
//                                 message (line breaks as \n), visible buttons
//                                 and icon (information, question, warning,
//                                 error, or none)
//   gui-remote answer ID          clicks the question's button ID; a Yes or OK
//                                 to a question about restarting is refused
//                                 (exit 3): nothing here ever restarts
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

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

constexpr const wchar_t* kCaption = L"Drenvalisk Ver 1.0";
constexpr DWORD kSendTimeout = 10000;
constexpr DWORD kPingPeriod = 20;

std::string narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring textOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

bool shown(HWND window) { return window && IsWindowVisible(window); }

// ---- finding the program's windows ----

struct Search {
  HWND main = nullptr;
  int mainWindows = 0;
};

BOOL CALLBACK visitTopLevel(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  // The questions may bear the same caption; only the main window has the list.
  if (!IsWindowVisible(window) || textOf(window) != kCaption || !GetDlgItem(window, IDC_REPORT_LIST))
    return TRUE;
  ++search->mainWindows;
  if (!search->main) search->main = window;
  return TRUE;
}

Search searchWindows() {
  Search search;
  EnumWindows(visitTopLevel, reinterpret_cast<LPARAM>(&search));
  return search;
}

HWND mainWindow() { return searchWindows().main; }

BOOL CALLBACK visitThreadWindow(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<HWND*>(context);
  if (IsWindowVisible(window) && GetDlgItem(window, IDC_MESSAGE_TEXT) &&
      !GetDlgItem(window, IDC_REPORT_LIST)) {
    *found = window;
    return FALSE;
  }
  return TRUE;
}

// The program's open question: a visible dialog of the main window's thread
// with a message text.
HWND questionWindow(HWND main) {
  if (!main) return nullptr;
  HWND found = nullptr;
  EnumThreadWindows(GetWindowThreadProcessId(main, nullptr), visitThreadWindow,
                    reinterpret_cast<LPARAM>(&found));
  return found;
}

// Polls `probe` every 10 ms until it returns true or `milliseconds` pass.
template <class Probe>
bool waitFor(DWORD milliseconds, Probe probe) {
  DWORD start = GetTickCount();
  for (;;) {
    if (probe()) return true;
    if (GetTickCount() - start >= milliseconds) return false;
    Sleep(10);
  }
}

DWORD argumentMs(int argc, char** argv, int index, DWORD fallback) {
  return argc > index ? DWORD(std::strtoul(argv[index], nullptr, 10)) : fallback;
}

bool isFinalStatus(const std::wstring& status) {
  return status == L"Scanning completed" || status == L"Scanning terminated";
}

// The scan has ended and the dialog shows it: the final status, OK in place of Cancel.
bool showsEnd(HWND main) {
  return isFinalStatus(textOf(GetDlgItem(main, IDC_STATUS_LABEL))) &&
         shown(GetDlgItem(main, IDC_OK_BUTTON)) && !shown(GetDlgItem(main, IDCANCEL));
}

bool clickable(HWND button) { return shown(button) && IsWindowEnabled(button); }

// ---- the screen ----

// Pixels of a screen area as 0x00RRGGBB, top-down.
std::vector<uint32_t> readPixels(HDC source, int left, int top, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP copy = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC copyDC = CreateCompatibleDC(source);
  HGDIOBJ old = SelectObject(copyDC, copy);
  BitBlt(copyDC, 0, 0, width, height, source, left, top, SRCCOPY);
  GdiFlush();
  const uint32_t* words = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> pixels(words, words + size_t(width) * height);
  for (uint32_t& pixel : pixels) pixel &= 0x00FFFFFF;
  SelectObject(copyDC, old);
  DeleteDC(copyDC);
  DeleteObject(copy);
  return pixels;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// A bitmap of the program's resources (linked into this tool as well), loaded
// the way the question loads its icon.
Picture loadBitmap(int id) {
  Picture picture;
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                                   IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
  if (!bitmap) return picture;
  BITMAP size = {};
  GetObjectA(bitmap, sizeof size, &size);
  HDC screen = GetDC(nullptr);
  HDC bitmapDC = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(bitmapDC, bitmap);
  picture.pixels = readPixels(bitmapDC, 0, 0, size.bmWidth, size.bmHeight);
  picture.width = size.bmWidth;
  picture.height = size.bmHeight;
  SelectObject(bitmapDC, old);
  DeleteDC(bitmapDC);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return picture;
}

// The icon the question's picture control shows on the screen: the one whose
// bitmap matches every pixel of the control's client area it covers.
const char* iconShown(HWND picture) {
  struct Icon {
    int id;
    const char* name;
  };
  const Icon icons[] = {{IDB_ICON_INFORMATION, "information"}, {IDB_ICON_QUESTION, "question"},
                        {IDB_ICON_WARNING, "warning"}, {IDB_ICON_ERROR, "error"}};
  RECT client = {};
  GetClientRect(picture, &client);
  POINT origin = {0, 0};
  ClientToScreen(picture, &origin);
  HDC screen = GetDC(nullptr);
  std::vector<uint32_t> shot = readPixels(screen, origin.x, origin.y, client.right, client.bottom);
  ReleaseDC(nullptr, screen);
  for (const Icon& icon : icons) {
    Picture bitmap = loadBitmap(icon.id);
    int width = std::min<int>(bitmap.width, client.right);
    int height = std::min<int>(bitmap.height, client.bottom);
    if (width <= 0 || height <= 0) continue;
    bool same = true;
    for (int y = 0; y < height && same; ++y)
      for (int x = 0; x < width && same; ++x)
        same = shot[size_t(y) * client.right + x] == bitmap.pixels[size_t(y) * bitmap.width + x];
    if (same) return icon.name;
  }
  return "none";
}

// ---- commands ----

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

int countWindows() {
  std::printf("%d\n", searchWindows().mainWindows);
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

// ---- responsiveness ----

double nowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// A slow answer: when it was sent (ms after SCAN), how long it took, and what
// the status label showed once it came.
struct SlowAnswer {
  double sentAt, ms;
  std::string status;
};

struct Pinger {
  HWND window = nullptr;
  double start = 0;
  volatile LONG stop = 0;
  std::vector<double> answers;  // milliseconds per WM_NULL
  std::vector<SlowAnswer> slow;  // answers over 50 ms
  int unanswered = 0;
};

// Sends WM_NULL every 20 ms (at once after a slow answer) until told to stop.
DWORD WINAPI pingLoop(void* context) {
  auto* pinger = static_cast<Pinger*>(context);
  HWND label = GetDlgItem(pinger->window, IDC_STATUS_LABEL);
  while (!pinger->stop) {
    double sent = nowMs();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(pinger->window, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeout, &result)) {
      double ms = nowMs() - sent;
      pinger->answers.push_back(ms);
      if (ms > 50) pinger->slow.push_back({sent - pinger->start, ms, narrow(textOf(label))});
    } else {
      ++pinger->unanswered;
    }
    double spent = nowMs() - sent;
    if (spent < kPingPeriod) Sleep(DWORD(kPingPeriod - spent));
  }
  return 0;
}

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = size_t(fraction * double(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

int bench(DWORD milliseconds) {
  HWND main = mainWindow();
  if (!main || !clickable(GetDlgItem(main, IDC_SCAN_BUTTON))) {
    std::fprintf(stderr, "gui-remote: no main window ready to scan\n");
    return 1;
  }
  Pinger pinger;
  pinger.window = main;
  double pressed = nowMs();
  pinger.start = pressed;
  HANDLE thread = CreateThread(nullptr, 0, pingLoop, &pinger, 0, nullptr);
  PostMessageA(GetDlgItem(main, IDC_SCAN_BUTTON), BM_CLICK, 0, 0);
  bool questioned = false;
  bool ended = waitFor(milliseconds, [&] {
    questioned = questionWindow(main) != nullptr;
    return questioned || showsEnd(main);
  });
  double wall = nowMs() - pressed;
  InterlockedExchange(&pinger.stop, 1);
  WaitForSingleObject(thread, kSendTimeout + 1000);
  CloseHandle(thread);
  if (!ended || questioned) {
    std::fprintf(stderr, "gui-remote: the scan %s\n", questioned ? "asked a question" : "did not end");
    return 1;
  }
  const std::vector<double>& answers = pinger.answers;
  int slow = int(std::count_if(answers.begin(), answers.end(), [](double ms) { return ms > 100; }));
  std::printf("status %s\n", narrow(textOf(GetDlgItem(main, IDC_STATUS_LABEL))).c_str());
  std::printf("scan_ms %.0f\n", wall);
  std::printf("pings %zu unanswered %d over_100ms %d\n", answers.size(), pinger.unanswered, slow);
  std::printf("answer_ms max %.1f p99 %.1f median %.2f\n",
              answers.empty() ? 0.0 : *std::max_element(answers.begin(), answers.end()),
              percentile(answers, 0.99), percentile(answers, 0.5));
  std::vector<SlowAnswer> slowest = pinger.slow;
  std::sort(slowest.begin(), slowest.end(),
            [](const SlowAnswer& a, const SlowAnswer& b) { return a.ms > b.ms; });
  if (slowest.size() > 3) slowest.resize(3);
  for (const SlowAnswer& answer : slowest)
    std::printf("slow %.1f ms at %.0f ms, status then: %s\n", answer.ms, answer.sentAt,
                answer.status.c_str());
  return 0;
}

int usage() {
  std::fputs("usage: gui-remote wait-window|click|wait-end|status|list|question|answer|windows|rect|bench"
             " [ARG]\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  if (command == "wait-window") return waitWindow(argumentMs(argc, argv, 2, 20000));
  if (command == "click" && argc > 2) return clickButton(std::atoi(argv[2]));
  if (command == "wait-end") return waitEnd(argumentMs(argc, argv, 2, 120000));
  if (command == "status") return printStatus();
  if (command == "list") return printList();
  if (command == "question") return describeQuestion(argumentMs(argc, argv, 2, 20000));
  if (command == "answer" && argc > 2) return answerQuestion(std::atoi(argv[2]));
  if (command == "windows") return countWindows();
  if (command == "rect") return printRect();
  if (command == "bench") return bench(argumentMs(argc, argv, 2, 600000));
  return usage();
}
