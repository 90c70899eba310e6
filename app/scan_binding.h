// How the scan reaches the main dialog: report lines and status texts as the
// window messages 0x000B and 0x000A, sent to the session's report window and
// handled before the send returns; questions through the confirmation dialog.
#pragma once
#include "engine/report_channel.h"

// Binds the report channel and ConfirmBox to the dialogs.
void bindDialogChannel();
// The sink bindDialogChannel installs (a test may wrap it).
ReportSink dialogReportSink();
