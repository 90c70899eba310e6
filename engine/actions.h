// What is done to an infected file, by the session's action code.
#pragma once

// Deletes (escalating to process termination and removal at restart), renames
// or leaves the file, counts the outcome and reports exactly one line; an
// action code outside 100..103 does nothing.
void actOnInfectedFile(const char* path, const char* name);

// The renamed form of `path`: the character after its last "." becomes "V"
// ("setup.exe" -> "setup.Vxe"); a path ending in "." gets a "V" appended; a
// path without any "." stays the same. `out` holds 260 bytes.
void makeRenamedPath(const char* path, char* out);

// Renames the file by makeRenamedPath, counts and reports the outcome.
void renameInfectedFile(const char* path, const char* name);
