// The pause and the process exit, as the system calls them, with the hooks
// through which tests and front ends replace them. The same on every platform.
#include <cstdlib>

#include "platform/system.h"

// The platform's own pause (Sleep, or the simulated clock).
void platformSleep(uint32_t milliseconds);

namespace {
SleepHook g_sleepHook = nullptr;
ExitHook g_exitHook = nullptr;
NoticeHook g_noticeHook = nullptr;
}  // namespace

void sleepMs(uint32_t milliseconds) {
  if (g_sleepHook) {
    g_sleepHook(milliseconds);
    return;
  }
  platformSleep(milliseconds);
}

void setSleepHook(SleepHook hook) { g_sleepHook = hook; }

void setExitHook(ExitHook hook) { g_exitHook = hook; }

void exitProgram(int code) {
  if (g_exitHook) g_exitHook(code);
  std::exit(code);
}

void setNoticeHook(NoticeHook hook) { g_noticeHook = hook; }

void platformNotice(const char* line) {
  if (g_noticeHook) g_noticeHook(line);
}
