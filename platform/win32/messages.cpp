// The thread's message queue and the message box on Win32.
#include <windows.h>

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

void translateAndDispatch(const Message& message) {
  MSG msg = {};
  msg.hwnd = static_cast<HWND>(message.window);
  msg.message = message.message;
  msg.wParam = message.wParam;
  msg.lParam = message.lParam;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

void setMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = hook; }

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  if (g_messageBoxHook) return g_messageBoxHook(owner, text, caption, style);
  return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}
