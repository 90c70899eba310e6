// Must not compile: the lean windows.h leaves the shell's header out, so a
// source that calls ShellExecuteA includes <shellapi.h> itself.
#include <windows.h>
void probe() { ShellExecuteA(nullptr, "open", "x", nullptr, nullptr, SW_SHOWNORMAL); }
