// The thread's message queue and the message box on Win32.
#include <windows.h>

#include <cstring>

#include "platform/messages.h"

namespace {
MessageBoxHook g_messageBoxHook = nullptr;
}

bool peekMessage(Message* message) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  *message = Message{msg.hwnd, msg.message, msg.wParam, msg.lParam};
  return true;
}

namespace {

// The dialog whose control (or itself) `window` is, or null.
HWND dialogOf(HWND window) {
  while (window && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD)) window = GetParent(window);
  char name[8] = {};
  if (!window || GetClassNameA(window, name, sizeof name) != 6 || std::strcmp(name, "#32770") != 0)
    return nullptr;
  return window;
}

}  // namespace

void translateAndDispatch(const Message& message) {
  MSG msg = {};
  msg.hwnd = static_cast<HWND>(message.window);
  msg.message = message.message;
  msg.wParam = message.wParam;
  msg.lParam = message.lParam;
  // The keys that move about a dialog (Tab, Shift+Tab, arrows, Enter,
  // mnemonics) work as they do in the dialog's own modal loop, which a scan
  // holds up while it pumps.
  if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
    HWND dialog = dialogOf(msg.hwnd);
    if (dialog && IsDialogMessageA(dialog, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

void setMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = hook; }

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  if (g_messageBoxHook) return g_messageBoxHook(owner, text, caption, style);
  return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}
