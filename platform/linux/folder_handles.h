// Folders of the drive map reached through directory handles. The folders on
// the way to the last one asked for stay open, so the next one asked for (in a
// walk: a subfolder or a sibling of the last) is opened relative to its parent
// instead of being looked up again from the drive's root, component by
// component, as a full path would be.
#pragma once
#include <cstddef>
#include <string>

// An open folder. It belongs to this module and stays valid until the next
// call of openHostFolder or closeHostFolders.
struct HostFolder {
  int fd = -1;
  bool driveRoot = false;
  bool atStart = true;  // nothing has been read through fd yet
};

// The folder named by the first `length` characters of a Windows path
// ("C:\a\b\" or "C:\a\b"), resolved as hostPathOf resolves it: the stored
// spelling first, else a name that differs only in letter case, "." and ".."
// taken apart without leaving the drive. Null when it cannot be opened.
// Folders reached through a symbolic link are opened by their full path, so
// the host's limit on links in a path still applies to them.
HostFolder* openHostFolder(const char* windowsPath, size_t length);

// The folder openHostFolder returned last, looked up anew from the drive's
// root: for a caller that found it no longer linked into the file system.
HostFolder* reopenHostFolder(const char* windowsPath, size_t length);

// Closes every kept handle; the next folder is looked up from the drive root.
void closeHostFolders();

// The stored name of the entry `name` of a folder: `name` when it exists as
// written, else the first entry whose name differs only in letter case, else
// empty.
std::string storedEntryName(int folderFd, const char* name);
