#include "engine/report_channel.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/session.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace {
ReportSink g_sink = {nullptr, nullptr};
ConfirmHandler g_confirm = nullptr;

// Lines held while the registry changes of an infected file wait to be
// written; those about a change carry its key path and their other text.
struct HeldLine {
  std::string keyPath;  // empty: sent as it is
  std::string line;
  std::string otherwise;
};
bool g_holding = false;
std::vector<HeldLine> g_held;

void send(const char* line) {
  if (g_sink.appendLine) g_sink.appendLine(line);
}

// The platform's own lines (an offline registry hive that cannot be read or
// written) join the report list like any other.
void forwardNotice(const char* line) { reportLine("%s", line); }
}  // namespace

void bindReportChannel(const ReportSink& sink) {
  g_sink = sink;
  setNoticeHook(sink.appendLine ? forwardNotice : nullptr);
}

void sendReportLine() {
  if (g_holding)
    g_held.push_back(HeldLine{std::string(), g_session.reportLine, std::string()});
  else
    send(g_session.reportLine);
}

void beginRegistryChanges() {
  if (!g_holding) g_holding = regHoldChanges();
}

void endRegistryChanges() {
  if (!g_holding) return;
  g_holding = false;
  regWriteChanges();  // what the platform says about its writes goes out first
  std::vector<HeldLine> held;
  held.swap(g_held);
  for (const HeldLine& entry : held) {
    const bool written = entry.keyPath.empty() || regChangesWritten(entry.keyPath.c_str());
    copyText(g_session.reportLine, (written ? entry.line : entry.otherwise).c_str(),
             sizeof g_session.reportLine);
    send(g_session.reportLine);
  }
}

void reportRegistryChange(const char* keyPath, const char* line, const char* otherwise) {
  if (g_holding) {
    g_held.push_back(HeldLine{keyPath, line, otherwise});
    return;
  }
  copyText(g_session.reportLine, line, sizeof g_session.reportLine);
  send(g_session.reportLine);
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
