// The report channel: engine code writes a session buffer, then signals the
// front end, which consumes the buffer before the call returns.
#pragma once
#include "engine/texts.h"

// The front end's two handlers. The dialog sends its window WM_SETREDRAW /
// WM_ENABLE; the console front end prints.
struct ReportSink {
  void (*appendLine)(const char* line);
  void (*showStatus)(const char* status);
};
void bindReportChannel(const ReportSink& sink);

// Appends g_session.reportLine to the report list.
void sendReportLine();
// Formats into g_session.reportLine (bounded) and appends it.
void reportLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// The registry changes one infected file causes, written together
// (regHoldChanges, platform/registry.h). While the platform holds changes,
// report lines are held too, in order, and sent once the changes are written;
// a line about a change (reportRegistryChange) is sent as it is only when the
// change is on disk, else its `otherwise` line is sent in its place. Where
// the platform makes each change at once, lines go out at once.
void beginRegistryChanges();
void endRegistryChanges();
// `line` tells of a change made under `keyPath` (below HKEY_LOCAL_MACHINE);
// `otherwise` is what holds when that change does not reach the disk.
void reportRegistryChange(const char* keyPath, const char* line, const char* otherwise);

// Shows g_session.statusText in the status label.
void sendStatus();

// The program's own modal question: message, caption and message-box style in,
// the pressed button's code out (1 OK, 2 Cancel, 6 Yes, 7 No).
using ConfirmHandler = int (*)(const char* text, const char* caption, unsigned style);
void bindConfirmBox(ConfirmHandler handler);
int ConfirmBox(const char* text, const char* caption, unsigned style);

