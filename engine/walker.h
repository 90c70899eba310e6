// The recursive directory walk, and the message pump that keeps the window
// alive while it runs.
#pragma once
#include <cstddef>

// Walks `pattern` ("C:\dir\*.*", or one file's full path in memory-check mode):
// a folder's files first, then its subfolders, depth first. Returns -1 when a
// pattern without any "." was met, 0 when the user stopped the scan, otherwise
// the current number of files scanned.
int walkDirectory(const char* pattern);

// Takes at most one message from the thread's queue and handles it: Escape asks
// whether to stop, WM_QUIT and WM_DESTROY stop, anything else is dispatched.
void pumpOneMessage();

// Display form of `source`, at most `width` (< 100) characters: its head, dots
// and its tail when it is longer. `destination` holds max(width, length)+1 bytes.
void shortenPath(const char* source, char* destination, int width);
// The same for a `source` whose length is known.
void shortenPathOfLength(const char* source, size_t length, char* destination, int width);
