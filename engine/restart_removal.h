// Deleting a file at the next start of the system.
#pragma once

// Non-zero when the removal is scheduled: the delayed move on the NT family,
// a wininit.ini "[rename]" entry on the 9x family; 0 elsewhere.
int scheduleRemovalAtRestart(const char* path);

// Writes "key=value" as the last line of wininit.ini's "[rename]" section,
// creating the file or the section when needed. The rewritten file holds
// exactly its old bytes plus the entry; a write that falls short puts the old
// content back from the temporary copy and returns false. When even that
// fails, a report line names the copy, and wininit.ini is left alone for the
// rest of the run so that the copy is not overwritten.
bool addWininitRename(const char* key, const char* value);

// Set once wininit.ini could not be restored from its copy; never cleared
// while the program runs (tests clear it).
extern bool g_wininitRestoreFailed;
