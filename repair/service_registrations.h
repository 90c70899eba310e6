// Offline: the service registrations of an infected file that was removed.
#pragma once

// On an offline installation, after `path` (an infected file) was removed:
// deletes every service whose ImagePath names that file from each numbered
// control set (ControlSet001, 002, ... as present), its Enum and Security
// subkeys first, and reports each key removed, or left when it cannot be
// removed, with `detectionName`. In report mode (action 103) only lists them.
// A service whose ImagePath names another file is never touched. Does nothing
// on a running Windows, whose services the memory stage stops and removes.
void cleanServiceRegistrations(const char* path, const char* detectionName);

// The service ImagePath `imagePath` names the file `path` (a full Windows
// path), as the service manager reads it: environment references expanded,
// the "\SystemRoot\" and "\??\" prefixes resolved, a path without a drive
// taken below the Windows folder, a quoted path or the text before the
// arguments compared without regard to letter case.
bool imagePathNames(const char* imagePath, const char* path);
