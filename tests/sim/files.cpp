// Files on the simulated machine: the Linux platform's real files
// (platform/linux/linux_files.h), after the failures a test injected, with
// the running processes' image files locked as Windows locks them, and the
// handles counted.
#include <algorithm>
#include <string>

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/linux/call_text.h"
#include "platform/linux/linux_files.h"
#include "tests/sim/sim_machine.h"

namespace {

// A running process keeps its image file from being deleted or moved.
bool imageInUse(const std::string& key) {
  for (const SimProcess& process : simMachine().processes)
    if (process.running && simPathKey(process.imagePath.c_str()) == key) return true;
  return false;
}

}  // namespace

Handle findFirstFile(const char* pattern, FindData* data) {
  Handle search = linuxfs::findFirstFile(pattern, data);
  if (search != PLATFORM_INVALID_HANDLE) ++simMachine().openSearches;
  return search;
}

bool findNextFile(Handle search, FindData* data) { return linuxfs::findNextFile(search, data); }

void findClose(Handle search) {
  if (!search || search == PLATFORM_INVALID_HANDLE) return;
  linuxfs::findClose(search);
  --simMachine().openSearches;
}

unsigned getDriveType(const char* root) { return linuxfs::getDriveType(root); }

bool setFileAttributes(const char* path, uint32_t attributes) {
  if (simMachine().failSetAttributes.count(simPathKey(path))) return false;
  return linuxfs::setFileAttributes(path, attributes);
}

bool deleteFile(const char* path) {
  SimMachine& sim = simMachine();
  const std::string key = simPathKey(path);
  auto injected = sim.failDeletes.find(key);
  if (injected != sim.failDeletes.end() && injected->second != 0) {
    if (injected->second > 0) --injected->second;
    return false;
  }
  if (imageInUse(key)) return false;
  return linuxfs::deleteFile(path);
}

bool moveFile(const char* from, const char* to) {
  const std::string key = simPathKey(from);
  if (simMachine().failMoves.count(key) || imageInUse(key)) return false;
  return linuxfs::moveFile(from, to);
}

bool moveFileEx(const char* from, const char* to, uint32_t flags) {
  SimMachine& sim = simMachine();
  if (to == nullptr && (flags & kMoveDelayUntilReboot)) {
    if (sim.failDelayedMoves.count(simPathKey(from))) return false;
    sim.delayedDeletes.push_back(from);
    return true;
  }
  return to != nullptr && moveFile(from, to);
}

bool copyFile(const char* from, const char* to, bool failIfExists) {
  if (simMachine().failCopies.count(simPathKey(to))) return false;
  return linuxfs::copyFile(from, to, failIfExists);
}

uint32_t getShortPathName(const char* path, char* out, uint32_t capacity) {
  const SimMachine& sim = simMachine();
  auto known = sim.shortPaths.find(simPathKey(path));
  if (known == sim.shortPaths.end()) return linuxfs::getShortPathName(path, out, capacity);
  char ignored[4];
  if (linuxfs::getShortPathName(path, ignored, 0) == 0) return 0;  // no such file
  return copyOutText(known->second, out, capacity);
}

uint32_t getWindowsDirectory(char* out, uint32_t capacity) {
  return copyOutText(simMachine().windowsDirectory, out, capacity);
}

uint32_t getSystemDirectory(char* out, uint32_t capacity) {
  return copyOutText(simMachine().systemDirectory, out, capacity);
}

uint32_t getTempPath(uint32_t capacity, char* out) {
  return copyOutText(simMachine().tempPath, out, capacity);
}

int fileOpen(const char* path, FileOpenMode mode) {
  const int fd = linuxfs::fileOpen(path, mode);
  if (fd >= 0) ++simMachine().openFiles;
  return fd;
}

int fileRead(int fd, void* buffer, unsigned count) { return linuxfs::fileRead(fd, buffer, count); }

// Writes spend the machine's write budget, so a test can make one fall short.
int fileWrite(int fd, const void* buffer, unsigned count) {
  SimMachine& sim = simMachine();
  unsigned allowed = count;
  if (sim.writeBudget >= 0) allowed = static_cast<unsigned>(std::min<long>(count, sim.writeBudget));
  const int wrote = linuxfs::fileWrite(fd, buffer, allowed);
  if (wrote > 0 && sim.writeBudget >= 0) sim.writeBudget -= wrote;
  return wrote;
}

long fileSeek(int fd, long offset, int origin) { return linuxfs::fileSeek(fd, offset, origin); }
long fileLength(int fd) { return linuxfs::fileLength(fd); }

int fileClose(int fd) {
  if (fd >= 0) --simMachine().openFiles;
  return linuxfs::fileClose(fd);
}

int fileAccess(const char* path, int mode) { return linuxfs::fileAccess(path, mode); }
