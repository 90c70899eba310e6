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
// ("C:\a\b\" or "C:\a\b"), each component in its stored spelling first,
// else a name that differs only in letter case, "." and ".." taken apart
// without leaving the drive. Every folder on the way is opened
// relative to the one above it without following a link: null when one of
// them is a symbolic link (or a junction, as the NTFS drivers show them), is
// missing or cannot be opened.
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

// A file or folder named by a Windows path, reached as openHostFolder reaches
// folders: the folder that holds it, open without any link followed, and the
// entry's stored name there (the name as written when there is no such entry
// yet). Every change the platform makes acts relative to `folderFd`
// (unlinkat, renameat, fchmodat, openat with O_NOFOLLOW), so a link put in
// place of a folder after the lookup cannot send it elsewhere.
struct HostEntry {
  int folderFd = -1;
  std::string name;

  HostEntry() = default;
  HostEntry(const HostEntry&) = delete;
  HostEntry& operator=(const HostEntry&) = delete;
  ~HostEntry();
};

// False when the path names a drive's root, or a folder on its way cannot be
// reached (missing, a link, unreadable).
bool reachHostEntry(const char* windowsPath, HostEntry* entry);
