// The Linux platform's file calls on real files through the drive map, under
// the names of the calls they stand for (platform/files.h,
// platform/file_io.h). The product's own definitions of those calls forward
// here (platform/linux/files_api.cpp); the simulated machine of the tests
// forwards here too, after its injected failures.
#pragma once
#include <cstdint>

#include "platform/file_io.h"
#include "platform/files.h"

namespace linuxfs {

Handle findFirstFile(const char* pattern, FindData* data);
bool findNextFile(Handle search, FindData* data);
void findClose(Handle search);
unsigned getDriveType(const char* root);
bool setFileAttributes(const char* path, uint32_t attributes);
bool deleteFile(const char* path);
bool moveFile(const char* from, const char* to);
bool copyFile(const char* from, const char* to, bool failIfExists);
// The path itself, when it names an existing file (no 8.3 names here).
uint32_t getShortPathName(const char* path, char* out, uint32_t capacity);

int fileOpen(const char* path, FileOpenMode mode);
int fileRead(int fd, void* buffer, unsigned count);
int fileWrite(int fd, const void* buffer, unsigned count);
long fileSeek(int fd, long offset, int origin);
long fileLength(int fd);
int fileClose(int fd);
int fileAccess(const char* path, int mode);

// True when the path names a file (not a folder or a link) reached from its
// drive's root without going through a link.
bool isPlainFile(const char* path);

// Drops what was kept of files read, after a change to the files.
void forgetFileHeads();

// Searches and files opened and not yet closed, so tests can see that every
// path closed what it opened.
int openSearchCount();
int openFileCount();

}  // namespace linuxfs
