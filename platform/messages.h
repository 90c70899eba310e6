// The thread's message queue and the platform's message box.
#pragma once
#include "platform/types.h"

constexpr uint32_t kMsgDestroy = 0x0002;
constexpr uint32_t kMsgEnable = 0x000A;
constexpr uint32_t kMsgSetRedraw = 0x000B;
constexpr uint32_t kMsgQuit = 0x0012;
constexpr uint32_t kMsgKeyDown = 0x0100;
constexpr uint32_t kVkEscape = 27;

struct Message {
  WindowHandle window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

// PeekMessageA with PM_REMOVE for any window of the current thread.
bool peekMessage(Message* message);
// TranslateMessage followed by DispatchMessageA.
void translateAndDispatch(const Message& message);

constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbOkCancel = 0x01;
constexpr unsigned kMbYesNo = 0x04;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
// MessageBoxA.
int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style);
// Tests answer message boxes without showing them: a hook, when set, receives
// every messageBox call and its result is the answer. Null restores the real box.
using MessageBoxHook = int (*)(WindowHandle owner, const char* text, const char* caption,
                               unsigned style);
void setMessageBoxHook(MessageBoxHook hook);
