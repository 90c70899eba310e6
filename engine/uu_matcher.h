// The uuencoded-file matcher: recognises a uuencoded worm by a pattern in the
// whitespace-free first or last 4096 bytes of a text file.
#pragma once

// 1 when the file matched (whatever the action's outcome), 0 otherwise.
int matchUuencodedFile(const char* name, const char* path);
