// Files and folders on the native build: real Linux files under the drive map,
// with Windows semantics on top (search patterns, letter case, NTFS listing
// order, attributes mapped onto permission bits).
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/host/sim_machine.h"

namespace {

struct SearchState {
  std::vector<FindData> entries;
  size_t next = 0;
};

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Windows wildcard match ignoring case: '*' any run, '?' one character.
bool wildcardMatch(const char* pattern, const char* name) {
  while (*pattern) {
    if (*pattern == '*') {
      while (*pattern == '*') ++pattern;
      if (!*pattern) return true;
      for (const char* n = name; *n; ++n)
        if (wildcardMatch(pattern, n)) return true;
      return wildcardMatch(pattern, "");
    }
    if (!*name) return false;
    if (*pattern != '?' && upper(*pattern) != upper(*name)) return false;
    ++pattern;
    ++name;
  }
  return *name == 0;
}

bool nameMatches(const std::string& pattern, const char* name) {
  if (pattern == "*.*" || pattern == "*") return true;
  if (wildcardMatch(pattern.c_str(), name)) return true;
  // "name.*" also finds "name" without an extension, as on Windows.
  if (pattern.size() > 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
      !std::strchr(name, '.'))
    return wildcardMatch(pattern.substr(0, pattern.size() - 2).c_str(), name);
  return false;
}

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// Fills `data` from the host's view of a file; false when it cannot be read.
bool describe(int dirFd, const char* hostName, const char* windowsName, FindData* data) {
  struct stat info;
  if (fstatat(dirFd, hostName, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  uint32_t attributes = 0;
  if (S_ISLNK(info.st_mode)) {
    // A link reads like a junction: the target's kind, marked as a reparse point.
    struct stat target;
    if (fstatat(dirFd, hostName, &target, 0) == 0) info = target;
    attributes |= kAttrReparsePoint;
  }
  if (S_ISDIR(info.st_mode)) {
    attributes |= kAttrDirectory;
  } else {
    attributes |= kAttrArchive;
  }
  if (!(info.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
  data->attributes = attributes;
  uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
  data->sizeHigh = static_cast<uint32_t>(size >> 32);
  data->sizeLow = static_cast<uint32_t>(size);
  std::snprintf(data->name, sizeof data->name, "%s", windowsName);
  return true;
}

std::string upperKey(const char* s) {
  std::string key(s);
  for (char& c : key) c = upper(c);
  return key;
}

}  // namespace

Handle findFirstFile(const char* pattern, FindData* data) {
  const char* slash = std::strrchr(pattern, '\\');
  if (!slash) return PLATFORM_INVALID_HANDLE;
  std::string folder(pattern, slash + 1);
  std::string namePattern(slash + 1);
  std::string hostFolder = hostPathOf(folder.c_str());
  if (hostFolder.empty() || namePattern.empty()) return PLATFORM_INVALID_HANDLE;
  int dirFd = open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dirFd < 0) return PLATFORM_INVALID_HANDLE;

  auto* search = new SearchState();
  FindData entry;
  if (!hasWildcard(namePattern)) {
    // A single named entry: resolve it without listing the folder.
    std::string host = hostPathOf(pattern);
    const char* hostName = std::strrchr(host.c_str(), '/') + 1;
    if (describe(dirFd, hostName, hostName, &entry)) search->entries.push_back(entry);
  } else if (DIR* dir = fdopendir(dup(dirFd))) {
    // A volume's root folder has no "." and ".." entries.
    const bool driveRoot = hostFolder == hostPathOf(folder.substr(0, 2).append("\\").c_str());
    std::vector<std::pair<std::string, FindData>> listed;
    while (dirent* item = readdir(dir)) {
      if (std::strlen(item->d_name) >= kMaxPath) continue;  // cannot be named
      const bool dotEntry = !std::strcmp(item->d_name, ".") || !std::strcmp(item->d_name, "..");
      if (dotEntry && driveRoot) continue;
      if (!nameMatches(namePattern, item->d_name)) continue;
      if (describe(dirFd, item->d_name, item->d_name, &entry))
        listed.emplace_back(upperKey(item->d_name), entry);
    }
    closedir(dir);
    // An NTFS volume lists a folder by upper-cased name, after "." and ".."
    // (which lead even where a name such as "!a" or "-a" would sort before them).
    auto rank = [](const std::string& key) { return key == "." ? 0 : key == ".." ? 1 : 2; };
    std::sort(listed.begin(), listed.end(), [&rank](const auto& a, const auto& b) {
      int rankA = rank(a.first);
      int rankB = rank(b.first);
      return rankA != rankB ? rankA < rankB : a.first < b.first;
    });
    search->entries.reserve(listed.size());
    for (auto& item : listed) search->entries.push_back(item.second);
  }
  close(dirFd);
  if (search->entries.empty()) {
    delete search;
    return PLATFORM_INVALID_HANDLE;
  }
  *data = search->entries[0];
  search->next = 1;
  ++simMachine().openSearches;
  return search;
}

bool findNextFile(Handle handle, FindData* data) {
  auto* search = static_cast<SearchState*>(handle);
  if (!search || search->next >= search->entries.size()) return false;
  *data = search->entries[search->next++];
  return true;
}

void findClose(Handle handle) {
  if (!handle || handle == PLATFORM_INVALID_HANDLE) return;
  delete static_cast<SearchState*>(handle);
  --simMachine().openSearches;
}

unsigned getDriveType(const char* root) {
  if (!root || !root[0]) return kDriveNoRootDir;
  char letter = upper(root[0]);
  return simMachine().drives.count(letter) ? kDriveFixed : kDriveNoRootDir;
}

bool setFileAttributes(const char* path, uint32_t attributes) {
  if (simMachine().failSetAttributes.count(simPathKey(path))) return false;
  std::string host = hostPathOf(path);
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0) return false;
  mode_t mode = info.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  return chmod(host.c_str(), mode) == 0;
}

namespace {
// A running process keeps its image file from being deleted or moved.
bool imageInUse(const std::string& key);
}  // namespace

bool deleteFile(const char* path) {
  SimMachine& sim = simMachine();
  std::string key = simPathKey(path);
  auto injected = sim.failDeletes.find(key);
  if (injected != sim.failDeletes.end() && injected->second != 0) {
    if (injected->second > 0) --injected->second;
    return false;
  }
  if (imageInUse(key)) return false;
  std::string host = hostPathOf(path);
  struct stat info;
  if (host.empty() || lstat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
  if (!S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR)) return false;  // read-only
  return unlink(host.c_str()) == 0;
}

bool moveFile(const char* from, const char* to) {
  if (simMachine().failMoves.count(simPathKey(from))) return false;
  if (imageInUse(simPathKey(from))) return false;
  std::string hostFrom = hostPathOf(from);
  std::string hostTo = hostPathOf(to);
  struct stat info;
  if (hostFrom.empty() || hostTo.empty() || lstat(hostFrom.c_str(), &info) != 0) return false;
  if (hostFrom != hostTo && lstat(hostTo.c_str(), &info) == 0) return false;  // target exists
  return rename(hostFrom.c_str(), hostTo.c_str()) == 0;
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
  std::string hostFrom = hostPathOf(from);
  std::string hostTo = hostPathOf(to);
  if (hostFrom.empty() || hostTo.empty()) return false;
  int in = open(hostFrom.c_str(), O_RDONLY);
  if (in < 0) return false;
  int out = open(hostTo.c_str(), O_WRONLY | O_CREAT | O_TRUNC | (failIfExists ? O_EXCL : 0), 0644);
  if (out < 0) {
    close(in);
    return false;
  }
  char buffer[65536];
  bool ok = true;
  ssize_t got;
  while ((got = read(in, buffer, sizeof buffer)) > 0)
    if (write(out, buffer, static_cast<size_t>(got)) != got) ok = false;
  if (got < 0) ok = false;
  close(in);
  return close(out) == 0 && ok;
}

namespace {
uint32_t copyOut(const std::string& value, char* out, uint32_t capacity) {
  if (value.size() + 1 > capacity) return static_cast<uint32_t>(value.size() + 1);
  std::memcpy(out, value.c_str(), value.size() + 1);
  return static_cast<uint32_t>(value.size());
}
}  // namespace

uint32_t getShortPathName(const char* path, char* out, uint32_t capacity) {
  SimMachine& sim = simMachine();
  std::string host = hostPathOf(path);
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0) return 0;
  auto known = sim.shortPaths.find(simPathKey(path));
  return copyOut(known != sim.shortPaths.end() ? known->second : std::string(path), out, capacity);
}

uint32_t getWindowsDirectory(char* out, uint32_t capacity) {
  return copyOut(simMachine().windowsDirectory, out, capacity);
}

uint32_t getSystemDirectory(char* out, uint32_t capacity) {
  return copyOut(simMachine().systemDirectory, out, capacity);
}

uint32_t getTempPath(uint32_t capacity, char* out) {
  return copyOut(simMachine().tempPath, out, capacity);
}

namespace {
bool imageInUse(const std::string& key) {
  for (const SimProcess& process : simMachine().processes)
    if (process.running && simPathKey(process.imagePath.c_str()) == key) return true;
  return false;
}
}  // namespace
