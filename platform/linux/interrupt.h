// Ctrl+C on the Linux platform: the console's signal handler posts it, and
// the next peekMessage reports it as WM_QUIT, as Cancel ends a scan.
#pragma once

// Safe to call from a signal handler.
void postQuitFromInterrupt();
