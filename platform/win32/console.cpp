#include <windows.h>
#include <io.h>

#include "platform/console.h"

namespace {
DWORD g_scanThread = 0;

BOOL WINAPI onConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  PostThreadMessageA(g_scanThread, WM_QUIT, 0, 0);
  return TRUE;
}
}  // namespace

void installInterruptHandler() {
  g_scanThread = GetCurrentThreadId();
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread a message queue
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}
bool standardInputIsTerminal() { return _isatty(0) != 0; }
bool standardErrorIsTerminal() { return _isatty(2) != 0; }
bool standardOutputIsTerminal() { return _isatty(1) != 0; }
