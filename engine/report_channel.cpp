#include "engine/report_channel.h"

#include <cstdarg>
#include <cstdio>

#include "engine/session.h"
#include "platform/messages.h"
#include "platform/system.h"

namespace {
ReportSink g_sink = {nullptr, nullptr};
ConfirmHandler g_confirm = nullptr;

// The platform's own lines (an offline registry hive that cannot be read or
// written) join the report list like any other.
void forwardNotice(const char* line) { reportLine("%s", line); }
}  // namespace

void bindReportChannel(const ReportSink& sink) {
  g_sink = sink;
  setNoticeHook(sink.appendLine ? forwardNotice : nullptr);
}

void sendReportLine() {
  if (g_sink.appendLine) g_sink.appendLine(g_session.reportLine);
}

void reportLine(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(g_session.reportLine, sizeof g_session.reportLine, format, arguments);
  va_end(arguments);
  sendReportLine();
}

void sendStatus() {
  if (g_sink.showStatus) g_sink.showStatus(g_session.statusText);
}

void bindConfirmBox(ConfirmHandler handler) { g_confirm = handler; }

int ConfirmBox(const char* text, const char* caption, unsigned style) {
  // Unbound (no front end to ask): every question is answered No / Cancel.
  if (!g_confirm) return (style & 0x0F) == kMbOkCancel ? kIdCancel : kIdNo;
  return g_confirm(text, caption, style);
}
