// Byte-level file access in the manner of the C runtime's _open family.
#pragma once
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

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void close() {
    if (fd_ >= 0) fileClose(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};
