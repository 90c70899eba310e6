// Byte-level file access on the Linux platform: POSIX descriptors on the
// files the drive map names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/drive_map.h"
#include "platform/linux/folder_handles.h"
#include "platform/linux/linux_files.h"

namespace {

// Opens a file for reading through the kept handle of its folder, which a
// walk has usually just listed; -1 when that does not find it as named.
int openInKeptFolder(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  if (!slash) return -1;
  const char* name = slash + 1;
  if (!*name || !std::strcmp(name, ".") || !std::strcmp(name, "..") || std::strchr(name, '/'))
    return -1;
  HostFolder* folder = openHostFolder(path, static_cast<size_t>(slash - path));
  if (!folder) return -1;
  return openat(folder->fd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

// Read positions of the descriptors opened for reading, by descriptor (-1 for
// others), and the size each file had when it was opened. A seek there only
// moves the position kept here and a read is a positioned read, so the
// matcher's seek-and-read pairs cost one call each.
std::vector<off_t> g_readPositions;
std::vector<off_t> g_openSizes;
int g_openFiles = 0;

off_t* readPosition(int fd) {
  if (fd < 0 || static_cast<size_t>(fd) >= g_readPositions.size()) return nullptr;
  return g_readPositions[fd] >= 0 ? &g_readPositions[fd] : nullptr;
}

void keepReadPosition(int fd, off_t position, off_t size) {
  if (static_cast<size_t>(fd) >= g_readPositions.size()) {
    g_readPositions.resize(fd + 1, -1);
    g_openSizes.resize(fd + 1, -1);
  }
  g_readPositions[fd] = position;
  g_openSizes[fd] = size;
}

// The first bytes of the file read last: the matchers read a PE file's
// headers and most patterns in many small pieces from its first 4 KB, which
// one read brings in. Dropped when the file is closed and whenever a call of
// ours changes a file.
constexpr size_t kHeadSize = 4096;
char g_head[kHeadSize];
int g_headFd = -1;
size_t g_headLength = 0;

// Serves a read of [position, position + count) from the head block, loading
// it first; -1 when the range lies beyond the block.
ssize_t readFromHead(int fd, void* buffer, size_t count, off_t position) {
  if (position < 0 || static_cast<size_t>(position) + count > kHeadSize) return -1;
  if (g_headFd != fd) {
    const ssize_t got = pread(fd, g_head, kHeadSize, 0);
    if (got < 0) return -1;
    g_headFd = fd;
    g_headLength = static_cast<size_t>(got);
  }
  const size_t at = static_cast<size_t>(position);
  if (at + count > g_headLength && g_headLength == kHeadSize) return -1;
  const size_t served = at >= g_headLength ? 0 : std::min(count, g_headLength - at);
  std::memcpy(buffer, g_head + at, served);
  return static_cast<ssize_t>(served);
}

// Opens a file reached from its drive's root without following a link,
// resolving letter case as Windows would.
int openReached(const char* path, int flags) {
  HostEntry entry;
  if (!reachHostEntry(path, &entry)) return -1;
  return openat(entry.folderFd, entry.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                0644);
}

}  // namespace

namespace linuxfs {

int fileOpen(const char* path, FileOpenMode mode) {
  int flags = O_RDONLY;
  switch (mode) {
    case kOpenReadBinary: flags = O_RDONLY; break;
    case kOpenCreateAppendBinary: flags = O_WRONLY | O_CREAT | O_APPEND; break;
    case kOpenWriteBinary: flags = O_WRONLY; break;
    case kOpenTruncateBinary: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
  }
  if (mode != kOpenReadBinary) hostFilesChanged();
  // A name in another letter case, or a folder gone since it was kept, is
  // looked up again from the drive's root.
  int fd = mode == kOpenReadBinary ? openInKeptFolder(path) : -1;
  if (fd < 0) fd = openReached(path, flags);
  if (fd < 0) return -1;
  // Only plain files are files to Windows. Opening without blocking keeps a
  // pipe or a device on the disk from holding the scan at its open.
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return -1;
  }
  ++g_openFiles;
  keepReadPosition(fd, mode == kOpenReadBinary ? 0 : -1, info.st_size);
  return fd;
}

int fileRead(int fd, void* buffer, unsigned count) {
  off_t* position = readPosition(fd);
  ssize_t got = position ? readFromHead(fd, buffer, count, *position) : -1;
  if (got < 0) got = position ? pread(fd, buffer, count, *position) : read(fd, buffer, count);
  if (got < 0) return -1;
  if (position) *position += got;
  return static_cast<int>(got);
}

void forgetFileHeads() { g_headFd = -1; }

int fileWrite(int fd, const void* buffer, unsigned count) {
  ssize_t wrote = count ? write(fd, buffer, count) : 0;
  return wrote < 0 ? -1 : static_cast<int>(wrote);
}

long fileSeek(int fd, long offset, int origin) {
  off_t* kept = readPosition(fd);
  if (kept && origin != kSeekEnd) {
    if (offset < 0) return -1;  // as lseek refuses it
    *kept = offset;
    return offset;
  }
  off_t position = lseek(fd, offset, origin == kSeekEnd ? SEEK_END : SEEK_SET);
  if (position < 0) return -1;
  if (kept) *kept = position;
  return static_cast<long>(position);
}

long fileLength(int fd) {
  if (readPosition(fd)) return static_cast<long>(g_openSizes[fd]);  // as fstat'ed at the open
  struct stat info;
  if (fstat(fd, &info) != 0) return -1;
  return static_cast<long>(info.st_size);
}

int fileClose(int fd) {
  if (fd < 0) return -1;
  --g_openFiles;
  if (off_t* position = readPosition(fd)) *position = -1;
  if (g_headFd == fd) g_headFd = -1;
  return close(fd);
}

// A link is not there for the platform: it is passed over, never gone through.
int fileAccess(const char* path, int mode) {
  HostEntry entry;
  struct stat info;
  if (!reachHostEntry(path, &entry) ||
      fstatat(entry.folderFd, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      S_ISLNK(info.st_mode))
    return -1;
  if (mode != 4) return 0;
  return faccessat(entry.folderFd, entry.name.c_str(), R_OK, 0) == 0 ? 0 : -1;
}

int openFileCount() { return g_openFiles; }

}  // namespace linuxfs
