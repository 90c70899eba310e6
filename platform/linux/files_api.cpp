// The file calls of the Linux platform: each forwards to its real-file
// implementation (platform/linux/linux_files.h). Deletion at restart and the
// Windows folders belong to the installation on C:, when there is one.
#include <string>

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/linux/call_text.h"
#include "platform/linux/linux_files.h"
#include "platform/offline/hive_registry.h"
#include "platform/offline/offline_windows.h"

Handle findFirstFile(const char* pattern, FindData* data) {
  return linuxfs::findFirstFile(pattern, data);
}
bool findNextFile(Handle search, FindData* data) { return linuxfs::findNextFile(search, data); }
void findClose(Handle search) { linuxfs::findClose(search); }
unsigned getDriveType(const char* root) { return linuxfs::getDriveType(root); }
bool setFileAttributes(const char* path, uint32_t attributes) {
  return linuxfs::setFileAttributes(path, attributes);
}
bool deleteFile(const char* path) { return linuxfs::deleteFile(path); }
bool moveFile(const char* from, const char* to) { return linuxfs::moveFile(from, to); }
bool copyFile(const char* from, const char* to, bool failIfExists) {
  return linuxfs::copyFile(from, to, failIfExists);
}
uint32_t getShortPathName(const char* path, char* out, uint32_t capacity) {
  return linuxfs::getShortPathName(path, out, capacity);
}

int fileOpen(const char* path, FileOpenMode mode) { return linuxfs::fileOpen(path, mode); }
int fileRead(int fd, void* buffer, unsigned count) { return linuxfs::fileRead(fd, buffer, count); }
int fileWrite(int fd, const void* buffer, unsigned count) {
  return linuxfs::fileWrite(fd, buffer, count);
}
long fileSeek(int fd, long offset, int origin) { return linuxfs::fileSeek(fd, offset, origin); }
long fileLength(int fd) { return linuxfs::fileLength(fd); }
int fileClose(int fd) { return linuxfs::fileClose(fd); }
int fileAccess(const char* path, int mode) { return linuxfs::fileAccess(path, mode); }

bool moveFileEx(const char* from, const char* to, uint32_t flags) {
  if (to == nullptr && (flags & kMoveDelayUntilReboot)) {
    // An offline installation deletes the file at its own next start; the
    // rescue system itself is never restarted for it. Only a file reached
    // without going through a link is scheduled: Windows would follow one.
    return offlineWindows() && linuxfs::isPlainFile(from) && hiveScheduleDeletion(from);
  }
  return to != nullptr && linuxfs::moveFile(from, to);
}

// Without an installation on C:, the folders a Windows would most likely have.
uint32_t getWindowsDirectory(char* out, uint32_t capacity) {
  const OfflineWindows* windows = offlineWindows();
  return copyOutText(windows ? windows->windowsFolder() : "C:\\WINDOWS", out, capacity);
}

uint32_t getSystemDirectory(char* out, uint32_t capacity) {
  const OfflineWindows* windows = offlineWindows();
  return copyOutText(windows ? windows->systemFolder() : "C:\\WINDOWS\\system32", out, capacity);
}

uint32_t getTempPath(uint32_t capacity, char* out) {
  return copyOutText("C:\\WINDOWS\\TEMP\\", out, capacity);
}
