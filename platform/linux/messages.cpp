// The message pump and message box of the Linux platform. There is no window
// and no queue: the pump only reports Ctrl+C, as WM_QUIT, and a message box is
// answered by the hook a front end installs.
#include <csignal>

#include "platform/linux/interrupt.h"
#include "platform/messages.h"

namespace {
volatile std::sig_atomic_t g_quitPosted = 0;
MessageBoxHook g_messageBoxHook = nullptr;
}  // namespace

void postQuitFromInterrupt() { g_quitPosted = 1; }

void setMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = hook; }

bool peekMessage(Message* message) {
  if (!g_quitPosted) return false;
  g_quitPosted = 0;
  *message = Message{nullptr, kMsgQuit, 0, 0};
  return true;
}

void translateAndDispatch(const Message&) {}

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  if (g_messageBoxHook) return g_messageBoxHook(owner, text, caption, style);
  return kIdOk;  // no one to ask: as if OK was pressed
}
