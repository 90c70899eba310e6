// Byte-level file access in the manner of the C runtime's _open family.
#pragma once
#include "platform/scoped_handle.h"
#include "platform/types.h"

enum FileOpenMode {
  kOpenReadBinary,          // _O_RDONLY | _O_BINARY
  kOpenCreateAppendBinary,  // _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY
  kOpenWriteBinary,         // _O_WRONLY | _O_BINARY, from the start, no truncation
  kOpenTruncateBinary,      // _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY
};
constexpr int kSeekSet = 0;
constexpr int kSeekEnd = 2;

int fileOpen(const char* path, FileOpenMode mode);  // descriptor, or -1
int fileRead(int fd, void* buffer, unsigned count);  // bytes read, or -1
int fileWrite(int fd, const void* buffer, unsigned count);
long fileSeek(int fd, long offset, int origin);      // new position, or -1
long fileLength(int fd);                             // -1 on failure
int fileClose(int fd);

// _access: 0 when the file exists (mode 0) or may be read (mode 4), else -1.
int fileAccess(const char* path, int mode);

// A descriptor of fileOpen; -1 holds nothing.
struct FileDescriptorTraits {
  using Value = int;
  static Value empty() { return -1; }
  static bool isOpen(Value fd) { return fd >= 0; }
  static long close(Value fd) { return fileClose(fd); }
};
using FileDescriptor = ScopedHandle<FileDescriptorTraits>;
