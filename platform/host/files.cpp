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
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/host/hive_registry.h"
#include "platform/host/offline_windows.h"
#include "platform/host/sim_machine.h"

namespace {

struct SearchState {
  std::shared_ptr<const std::vector<FindData>> entries;
  size_t next = 0;
};

// The last folder listing. The walker lists each folder twice in a row (its
// files, then its subfolders, with the same pattern); the second listing is
// served from here when nothing changed in between: no call of ours changed a
// file (the generation) and the folder itself was not modified (its mtime).
struct ListingCache {
  std::string windowsFolder;
  std::string hostFolder;
  std::string namePattern;
  uint64_t generation = 0;
  struct timespec modified = {};
  off_t folderSize = 0;
  std::shared_ptr<const std::vector<FindData>> entries;
};
ListingCache g_lastListing;
uint64_t g_generation = 1;

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

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

void setName(FindData* data, const char* name) {
  size_t length = std::strlen(name);
  std::memcpy(data->name, name, length + 1);
}

// Fills `data` from the host's view of a file; false when it cannot be read.
// A folder needs no stat: its size reads 0 and its mode is not reported.
bool describe(int dirFd, const char* hostName, unsigned char type, FindData* data) {
  if (type == DT_DIR) {
    data->attributes = kAttrDirectory;
    data->sizeHigh = data->sizeLow = 0;
    setName(data, hostName);
    return true;
  }
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
  setName(data, hostName);
  return true;
}

std::string upperKey(const char* s) {
  std::string key(s);
  for (char& c : key) c = upper(c);
  return key;
}

// Lists `dirFd` in NTFS order: "." and ".." first, then by upper-cased name.
std::vector<FindData> listFolder(int dirFd, const std::string& namePattern, bool driveRoot) {
  std::vector<FindData> entries;
  std::vector<std::pair<std::string, uint32_t>> order;  // sort key, index
  DIR* dir = fdopendir(dup(dirFd));
  if (!dir) return entries;
  FindData entry;
  while (dirent* item = readdir(dir)) {
    const char* name = item->d_name;
    if (std::strlen(name) >= kMaxPath) continue;  // cannot be named
    const bool dotEntry = !std::strcmp(name, ".") || !std::strcmp(name, "..");
    if (dotEntry && driveRoot) continue;  // a volume's root has no "." and ".."
    if (!nameMatches(namePattern, name)) continue;
    if (!describe(dirFd, name, dotEntry ? static_cast<unsigned char>(DT_DIR) : item->d_type, &entry)) continue;
    // "." and ".." lead even where a name such as "!a" would sort before them.
    std::string key = dotEntry ? std::string(name[1] ? "\x01" : "") : upperKey(name);
    order.emplace_back(std::move(key), static_cast<uint32_t>(entries.size()));
    entries.push_back(entry);
  }
  closedir(dir);
  std::sort(order.begin(), order.end());
  std::vector<FindData> sorted;
  sorted.reserve(entries.size());
  for (const auto& item : order) sorted.push_back(entries[item.second]);
  return sorted;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

void hostFilesChanged() { ++g_generation; }

namespace {

// The listing of `pattern` kept from the call before, when still current.
std::shared_ptr<const std::vector<FindData>> takeCachedListing(const std::string& folder,
                                                               const std::string& namePattern) {
  ListingCache& cache = g_lastListing;
  if (!cache.entries || cache.generation != g_generation || cache.windowsFolder != folder ||
      cache.namePattern != namePattern)
    return nullptr;
  struct stat info;
  if (stat(cache.hostFolder.c_str(), &info) != 0 || !sameTime(cache.modified, info.st_mtim) ||
      cache.folderSize != info.st_size)
    return nullptr;
  auto entries = std::move(cache.entries);
  cache.entries.reset();  // served once
  return entries;
}

std::shared_ptr<const std::vector<FindData>> listAndKeep(int dirFd, const std::string& folder,
                                                         const std::string& hostFolder,
                                                         const std::string& namePattern) {
  struct stat folderInfo = {};
  fstat(dirFd, &folderInfo);
  const bool driveRoot = hostFolder == hostPathOf(folder.substr(0, 2).append("\\").c_str());
  auto entries =
      std::make_shared<const std::vector<FindData>>(listFolder(dirFd, namePattern, driveRoot));
  ListingCache& cache = g_lastListing;
  cache.windowsFolder = folder;
  cache.hostFolder = hostFolder;
  cache.namePattern = namePattern;
  cache.generation = g_generation;
  cache.modified = folderInfo.st_mtim;
  cache.folderSize = folderInfo.st_size;
  cache.entries = entries;
  return entries;
}

// A single named entry: resolved without listing the folder.
std::shared_ptr<const std::vector<FindData>> describeNamed(int dirFd, const char* pattern) {
  std::string host = hostPathOf(pattern);
  const char* hostName = std::strrchr(host.c_str(), '/') + 1;
  auto single = std::make_shared<std::vector<FindData>>();
  FindData entry;
  if (describe(dirFd, hostName, DT_UNKNOWN, &entry)) single->push_back(entry);
  return single;
}

}  // namespace

Handle findFirstFile(const char* pattern, FindData* data) {
  const char* slash = std::strrchr(pattern, '\\');
  if (!slash || !slash[1]) return PLATFORM_INVALID_HANDLE;
  std::string folder(pattern, slash + 1);
  std::string namePattern(slash + 1);
  std::shared_ptr<const std::vector<FindData>> entries;
  if (hasWildcard(namePattern)) entries = takeCachedListing(folder, namePattern);
  if (!entries) {
    std::string hostFolder = hostPathOf(folder.c_str());
    if (hostFolder.empty()) return PLATFORM_INVALID_HANDLE;
    int dirFd = open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return PLATFORM_INVALID_HANDLE;
    entries = hasWildcard(namePattern) ? listAndKeep(dirFd, folder, hostFolder, namePattern)
                                       : describeNamed(dirFd, pattern);
    close(dirFd);
  }
  if (entries->empty()) return PLATFORM_INVALID_HANDLE;
  auto* search = new SearchState();
  search->entries = std::move(entries);
  *data = (*search->entries)[0];
  search->next = 1;
  ++simMachine().openSearches;
  return search;
}

bool findNextFile(Handle handle, FindData* data) {
  auto* search = static_cast<SearchState*>(handle);
  if (!search || search->next >= search->entries->size()) return false;
  *data = (*search->entries)[search->next++];
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
  hostFilesChanged();
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
  hostFilesChanged();
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
  hostFilesChanged();
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
    // An offline installation deletes the file at its own next start.
    if (offlineWindows()) return hiveScheduleDeletion(from);
    sim.delayedDeletes.push_back(from);
    return true;
  }
  return to != nullptr && moveFile(from, to);
}

bool copyFile(const char* from, const char* to, bool failIfExists) {
  hostFilesChanged();
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
  if (const OfflineWindows* windows = offlineWindows())
    return copyOut(windows->windowsFolder(), out, capacity);
  return copyOut(simMachine().windowsDirectory, out, capacity);
}

uint32_t getSystemDirectory(char* out, uint32_t capacity) {
  if (const OfflineWindows* windows = offlineWindows())
    return copyOut(windows->systemFolder(), out, capacity);
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
