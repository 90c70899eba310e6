// What the commands of gui-remote share (gui_remote.cpp says what it does):
// finding drenvalisk.exe's windows from another process and reading them, the
// icon its question shows, and the responsiveness measurement.
#pragma once
#include <windows.h>

#include <string>

// How long a message sent to the program may take before it counts as unanswered.
constexpr DWORD kSendTimeout = 10000;

// ---- windows (gui_remote_windows.cpp) ----

// Text in the ANSI code page, as the program itself holds it.
std::string narrow(const std::wstring& text);
// A control of the program by its name in res/resource.h ("IDC_SCAN_BUTTON",
// also "IDOK" and "IDCANCEL"); -1 for a name it does not know.
int controlNamed(const std::string& name);
std::wstring textOf(HWND window);
bool shown(HWND window);
bool clickable(HWND button);
// The program's main window (a visible top-level window with the caption and
// the report list), or null; and how many of them are up.
HWND mainWindow();
int mainWindowCount();
// The program's open question: a visible dialog of the main window's thread
// with a message text; null when none is open.
HWND questionWindow(HWND main);
// The scan has ended and the dialog shows it: the final status, OK in place of Cancel.
bool showsEnd(HWND main);

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

// ---- the screen (gui_remote_screen.cpp) ----

// The icon a question's picture control shows on the screen: "information",
// "question", "warning" or "error" (the bitmap that matches every pixel it
// covers), or "none".
const char* iconShown(HWND picture);

// ---- responsiveness (gui_remote_bench.cpp) ----

// Presses SCAN and, until the window shows the scan's end, sends it WM_NULL
// every 20 ms from a second thread; prints the answer times and the scan's
// wall time. 1 when the scan did not end within `milliseconds` or asked a
// question.
int benchScan(DWORD milliseconds);
