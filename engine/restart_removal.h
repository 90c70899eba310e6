// Deleting a file at the next start of the system.
#pragma once

// Non-zero when the removal is scheduled: the delayed move on the NT family,
// a wininit.ini "[rename]" entry on the 9x family; 0 elsewhere.
int scheduleRemovalAtRestart(const char* path);

// Writes "key=value" as the last line of wininit.ini's "[rename]" section,
// creating the file or the section when needed. The rewritten file holds
// exactly its old bytes plus the entry; a write that falls short puts the old
// content back from the temporary copy and returns false.
bool addWininitRename(const char* key, const char* value);
