// Files and folders on Win32: the real calls.
#include <windows.h>

#include <cstring>

#include "platform/files.h"

namespace {
void copyFindData(const WIN32_FIND_DATAA& from, FindData* to) {
  to->attributes = from.dwFileAttributes;
  to->sizeHigh = from.nFileSizeHigh;
  to->sizeLow = from.nFileSizeLow;
  std::memcpy(to->name, from.cFileName, sizeof to->name);
  to->name[sizeof to->name - 1] = 0;
}
}  // namespace

Handle findFirstFile(const char* pattern, FindData* data) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return PLATFORM_INVALID_HANDLE;
  copyFindData(found, data);
  return search;
}

bool findNextFile(Handle search, FindData* data) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(search, &found)) return false;
  copyFindData(found, data);
  return true;
}

void findClose(Handle search) {
  if (search && search != PLATFORM_INVALID_HANDLE) FindClose(search);
}

unsigned getDriveType(const char* root) { return GetDriveTypeA(root); }
bool setFileAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes) != 0;
}
bool deleteFile(const char* path) { return DeleteFileA(path) != 0; }
bool moveFile(const char* from, const char* to) { return MoveFileA(from, to) != 0; }
bool moveFileEx(const char* from, const char* to, uint32_t flags) {
  return MoveFileExA(from, to, flags) != 0;
}
bool copyFile(const char* from, const char* to, bool failIfExists) {
  return CopyFileA(from, to, failIfExists) != 0;
}
uint32_t getShortPathName(const char* path, char* out, uint32_t capacity) {
  return GetShortPathNameA(path, out, capacity);
}
uint32_t getWindowsDirectory(char* out, uint32_t capacity) {
  return GetWindowsDirectoryA(out, capacity);
}
uint32_t getSystemDirectory(char* out, uint32_t capacity) {
  return GetSystemDirectoryA(out, capacity);
}
uint32_t getTempPath(uint32_t capacity, char* out) { return GetTempPathA(capacity, out); }
