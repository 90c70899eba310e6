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
#include "platform/host/folder_handles.h"
#include "platform/host/hive_registry.h"
#include "platform/host/offline_windows.h"
#include "platform/host/sim_machine.h"

namespace {

// One folder listing in NTFS order. Names are kept side by side in one
// buffer, so a listing costs a few allocations, not one per entry.
struct Listing {
  struct Entry {
    uint32_t nameOffset;
    uint32_t nameLength;
    uint32_t attributes;
    uint64_t size;
  };
  std::vector<Entry> entries;
  std::vector<char> names;  // each name followed by its terminator

  const char* name(const Entry& entry) const { return names.data() + entry.nameOffset; }
  void fill(size_t index, FindData* data) const {
    const Entry& entry = entries[index];
    data->attributes = entry.attributes;
    data->sizeHigh = static_cast<uint32_t>(entry.size >> 32);
    data->sizeLow = static_cast<uint32_t>(entry.size);
    std::memcpy(data->name, name(entry), entry.nameLength + 1);
  }
};
using SharedListing = std::shared_ptr<const Listing>;

struct SearchState {
  SharedListing listing;
  size_t next = 0;
};

// The last folder listing. The walker lists each folder twice in a row (its
// files, then its subfolders, with the same pattern); the second listing is
// served from here when nothing changed in between: no call of ours changed a
// file (the generation) and the folder itself was not modified (its mtime).
struct ListingCache {
  std::string windowsFolder;
  std::string namePattern;
  uint64_t generation = 0;
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec modified = {};
  off_t folderSize = 0;
  SharedListing listing;
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

bool isDotEntry(const char* name) {
  return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]));
}

// Attributes and size of an entry of `dirFd`; false when it cannot be read.
// A folder needs no stat: its size reads 0 and its mode is not reported.
bool describe(int dirFd, const char* hostName, unsigned char type, uint32_t* attributes,
              uint64_t* size) {
  if (type == DT_DIR) {
    *attributes = kAttrDirectory;
    *size = 0;
    return true;
  }
  struct stat info;
  if (fstatat(dirFd, hostName, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  uint32_t bits = 0;
  if (S_ISLNK(info.st_mode)) {
    // A link reads like a junction: the target's kind, marked as a reparse point.
    struct stat target;
    if (fstatat(dirFd, hostName, &target, 0) == 0) info = target;
    bits |= kAttrReparsePoint;
  }
  bits |= S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  if (!(info.st_mode & S_IWUSR)) bits |= kAttrReadOnly;
  *attributes = bits;
  *size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
  return true;
}

void addEntry(Listing& listing, int dirFd, const char* name, unsigned char type) {
  Listing::Entry entry;
  if (!describe(dirFd, name, type, &entry.attributes, &entry.size)) return;
  const size_t length = std::strlen(name);
  entry.nameOffset = static_cast<uint32_t>(listing.names.size());
  entry.nameLength = static_cast<uint32_t>(length);
  listing.names.insert(listing.names.end(), name, name + length + 1);
  listing.entries.push_back(entry);
}

// NTFS order: "." and ".." first, even where a name such as "!a" would sort
// before them, then by upper-cased name; equal names keep the order in which
// the folder gave them, which is the order of their names in the buffer.
void sortListing(Listing& listing) {
  static std::vector<char> keys;  // upper-cased names, at the names' offsets
  keys.resize(listing.names.size());
  for (size_t i = 0; i < keys.size(); ++i) keys[i] = upper(listing.names[i]);
  auto keyLength = [&listing](const Listing::Entry& entry) -> uint32_t {
    const char* name = listing.name(entry);
    if (isDotEntry(name)) return name[1] ? 1 : 0;
    return entry.nameLength;
  };
  for (const Listing::Entry& entry : listing.entries)
    if (isDotEntry(listing.name(entry))) keys[entry.nameOffset] = '\x01';  // ".." before any name
  std::sort(listing.entries.begin(), listing.entries.end(),
            [&keyLength](const Listing::Entry& a, const Listing::Entry& b) {
              const uint32_t lengthA = keyLength(a);
              const uint32_t lengthB = keyLength(b);
              const int order = std::memcmp(keys.data() + a.nameOffset, keys.data() + b.nameOffset,
                                            std::min(lengthA, lengthB));
              if (order != 0) return order < 0;
              if (lengthA != lengthB) return lengthA < lengthB;
              return a.nameOffset < b.nameOffset;
            });
}

// Lists `folder` in NTFS order, reading its entries through its handle.
SharedListing listFolder(HostFolder& folder, const std::string& namePattern) {
  auto listing = std::make_shared<Listing>();
  listing->entries.reserve(32);
  listing->names.reserve(512);
  if (!folder.atStart && lseek(folder.fd, 0, SEEK_SET) != 0) return listing;
  folder.atStart = false;
  static char buffer[32768];
  for (;;) {
    const ssize_t got = getdents64(folder.fd, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* item = reinterpret_cast<const struct dirent64*>(buffer + at);
      at += item->d_reclen;
      const char* name = item->d_name;
      if (std::strlen(name) >= kMaxPath) continue;  // cannot be named
      const bool dotEntry = isDotEntry(name);
      if (dotEntry && folder.driveRoot) continue;  // a volume's root has no "." and ".."
      if (!nameMatches(namePattern, name)) continue;
      addEntry(*listing, folder.fd, name, dotEntry ? static_cast<unsigned char>(DT_DIR) : item->d_type);
    }
  }
  sortListing(*listing);
  return listing;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameFolderState(const ListingCache& cache, const struct stat& info) {
  return cache.device == info.st_dev && cache.inode == info.st_ino &&
         sameTime(cache.modified, info.st_mtim) && cache.folderSize == info.st_size;
}

}  // namespace

void hostFilesChanged() {
  ++g_generation;
  closeHostFolders();  // a folder may have been moved
}

namespace {

// The listing of `pattern` kept from the call before, when still current.
SharedListing takeCachedListing(const std::string& folder, const std::string& namePattern,
                                const struct stat& info) {
  ListingCache& cache = g_lastListing;
  if (!cache.listing || cache.generation != g_generation || cache.windowsFolder != folder ||
      cache.namePattern != namePattern || !sameFolderState(cache, info))
    return nullptr;
  SharedListing listing = std::move(cache.listing);
  cache.listing.reset();  // served once
  return listing;
}

SharedListing listAndKeep(HostFolder& folder, const std::string& windowsFolder,
                          const std::string& namePattern, const struct stat& info) {
  SharedListing listing = listFolder(folder, namePattern);
  ListingCache& cache = g_lastListing;
  cache.windowsFolder = windowsFolder;
  cache.namePattern = namePattern;
  cache.generation = g_generation;
  cache.device = info.st_dev;
  cache.inode = info.st_ino;
  cache.modified = info.st_mtim;
  cache.folderSize = info.st_size;
  cache.listing = listing;
  return listing;
}

// A single named entry: resolved without listing the folder.
SharedListing describeNamed(const HostFolder& folder, const char* name) {
  auto single = std::make_shared<Listing>();
  const std::string stored = storedEntryName(folder.fd, name);
  if (!stored.empty()) addEntry(*single, folder.fd, stored.c_str(), DT_UNKNOWN);
  return single;
}

// The folder of a search, opened through the kept handles, and its state
// before it is read. A kept handle of a folder removed since is replaced.
HostFolder* openSearchFolder(const std::string& windowsFolder, struct stat* info) {
  HostFolder* folder = openHostFolder(windowsFolder.data(), windowsFolder.size());
  if (!folder || fstat(folder->fd, info) != 0) return nullptr;
  if (info->st_nlink > 0) return folder;
  folder = reopenHostFolder(windowsFolder.data(), windowsFolder.size());
  if (!folder || fstat(folder->fd, info) != 0) return nullptr;
  return folder;
}

}  // namespace

Handle findFirstFile(const char* pattern, FindData* data) {
  const char* slash = std::strrchr(pattern, '\\');
  if (!slash || !slash[1]) return PLATFORM_INVALID_HANDLE;
  const std::string folder(pattern, slash + 1);
  const std::string namePattern(slash + 1);
  struct stat info;
  HostFolder* open = openSearchFolder(folder, &info);
  if (!open) return PLATFORM_INVALID_HANDLE;
  SharedListing listing;
  if (!hasWildcard(namePattern)) {
    // "." and ".." name the folder's neighbours, which only a full path resolves.
    if (isDotEntry(namePattern.c_str())) return PLATFORM_INVALID_HANDLE;
    listing = describeNamed(*open, namePattern.c_str());
  } else {
    listing = takeCachedListing(folder, namePattern, info);
    if (!listing) listing = listAndKeep(*open, folder, namePattern, info);
  }
  if (listing->entries.empty()) return PLATFORM_INVALID_HANDLE;
  auto* search = new SearchState();
  search->listing = std::move(listing);
  search->listing->fill(0, data);
  search->next = 1;
  ++simMachine().openSearches;
  return search;
}

bool findNextFile(Handle handle, FindData* data) {
  auto* search = static_cast<SearchState*>(handle);
  if (!search || search->next >= search->listing->entries.size()) return false;
  search->listing->fill(search->next++, data);
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
