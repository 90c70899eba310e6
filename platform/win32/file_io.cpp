// Byte-level file access on Win32: the C runtime's _open family.
#include <fcntl.h>
#include <stdio.h>
#include <io.h>
#include <sys/stat.h>

#include "platform/file_io.h"

int fileOpen(const char* path, FileOpenMode mode) {
  switch (mode) {
    case kOpenReadBinary: return _open(path, _O_RDONLY | _O_BINARY);
    case kOpenCreateAppendBinary:
      return _open(path, _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY, _S_IREAD | _S_IWRITE);
    case kOpenWriteBinary: return _open(path, _O_WRONLY | _O_BINARY);
    case kOpenTruncateBinary:
      return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  }
  return -1;
}
int fileRead(int fd, void* buffer, unsigned count) { return _read(fd, buffer, count); }
int fileWrite(int fd, const void* buffer, unsigned count) { return _write(fd, buffer, count); }
long fileSeek(int fd, long offset, int origin) {
  return _lseek(fd, offset, origin == kSeekEnd ? SEEK_END : SEEK_SET);
}
long fileLength(int fd) { return _filelength(fd); }
int fileClose(int fd) { return _close(fd); }
int fileAccess(const char* path, int mode) { return _access(path, mode); }
