// Files and folders: the Win32 file-system calls the system makes, under their
// own names. Paths are Windows paths ("C:\dir\file.exe").
#pragma once
#include "platform/scoped_handle.h"
#include "platform/types.h"

// FindFirstFileA: starts a directory search; PLATFORM_INVALID_HANDLE on failure.
Handle findFirstFile(const char* pattern, FindData* data);
bool findNextFile(Handle search, FindData* data);
void findClose(Handle search);

// A directory search of findFirstFile; INVALID_HANDLE_VALUE holds nothing.
struct FindHandleTraits {
  using Value = Handle;
  static Value empty() { return PLATFORM_INVALID_HANDLE; }
  static bool isOpen(Value search) { return search && search != PLATFORM_INVALID_HANDLE; }
  static long close(Value search) {
    findClose(search);
    return 0;
  }
};
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;

// GetDriveTypeA of a root such as "C:\".
unsigned getDriveType(const char* root);

bool setFileAttributes(const char* path, uint32_t attributes);
bool deleteFile(const char* path);
bool moveFile(const char* from, const char* to);
constexpr uint32_t kMoveDelayUntilReboot = 4;
// MoveFileExA; a null `to` with kMoveDelayUntilReboot deletes at the next start.
bool moveFileEx(const char* from, const char* to, uint32_t flags);
bool copyFile(const char* from, const char* to, bool failIfExists);

// The Get...A calls: length written (without terminator), 0 on failure, or the
// size needed when the buffer is too small.
uint32_t getShortPathName(const char* path, char* out, uint32_t capacity);
uint32_t getWindowsDirectory(char* out, uint32_t capacity);
uint32_t getSystemDirectory(char* out, uint32_t capacity);
uint32_t getTempPath(uint32_t capacity, char* out);
