// Files and folders on the Linux platform: real Linux files under the drive
// map, with Windows semantics on top (search patterns, letter case, NTFS
// listing order, attributes mapped onto permission bits).
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/linux/drive_map.h"
#include "platform/linux/folder_handles.h"
#include "platform/linux/folder_listing.h"
#include "platform/linux/linux_files.h"
#include "platform/linux/listing_read_ahead.h"
#include "platform/offline/hive_store.h"

namespace {

using SharedListing = std::shared_ptr<const FolderListing>;

struct SearchState {
  SharedListing listing;  // holds what next and end point into
  const FolderListing::Entry* next = nullptr;
  const FolderListing::Entry* end = nullptr;
};

// The last folder listing. The walker lists each folder twice in a row (its
// files, then its subfolders, with the same pattern); the second listing is
// served from here when nothing changed in between: no call of ours changed a
// file (the generation), it is still the same folder (its inode) and the
// folder was not modified since the first listing began. The clock is read
// instead of the folder's state before that listing: one call of fstat per
// folder, not two. A modification stamps the folder with the time the file
// system reads from the same coarse clock, rounded down to its granularity
// (2 s on FAT); a folder stamped less than kListingTimeMargin before the
// listing began may have been modified during it, and is listed again.
struct ListingCache {
  std::string windowsFolder;
  std::string namePattern;
  uint64_t generation = 0;
  uint64_t inode = 0;
  struct timespec listedAt = {};
  SharedListing listing;
};
ListingCache g_lastListing;
uint64_t g_generation = 1;
int g_openSearches = 0;
constexpr time_t kListingTimeMargin = 3;  // seconds

// True when the folder's modification time lies well before the listing began.
bool unchangedSince(const struct timespec& listedAt, const struct stat& info) {
  return info.st_mtim.tv_sec + kListingTimeMargin < listedAt.tv_sec;
}

}  // namespace

void hostFilesChanged() {
  ++g_generation;
  dropReadAhead();
  linuxfs::forgetFileHeads();
  closeHostFolders();  // a folder may have been moved
}

namespace {

// The listing of `pattern` kept from the call before, when still current.
SharedListing takeCachedListing(HostFolder& folder, const std::string& windowsFolder,
                                const std::string& namePattern) {
  ListingCache& cache = g_lastListing;
  if (!cache.listing || cache.generation != g_generation || cache.windowsFolder != windowsFolder ||
      cache.namePattern != namePattern)
    return nullptr;
  SharedListing listing = std::move(cache.listing);
  cache.listing.reset();  // served once
  struct stat info;
  if (fstat(folder.fd, &info) != 0 || info.st_nlink == 0 || info.st_ino != cache.inode ||
      !unchangedSince(cache.listedAt, info))
    return nullptr;
  return listing;
}

// Listings no search and no cache holds any more, kept with their room for
// the next ones: a walk holds one listing per level of its depth.
std::vector<std::shared_ptr<FolderListing>> g_listingPool;

std::shared_ptr<FolderListing> freshListing() {
  for (const auto& kept : g_listingPool) {
    if (kept.use_count() == 1) {
      kept->clear();
      return kept;
    }
  }
  g_listingPool.push_back(std::make_shared<FolderListing>());
  return g_listingPool.back();
}

// Keeps the listing for the call after.
void keepListing(const std::string& windowsFolder, const std::string& namePattern,
                 const struct timespec& listedAt, const SharedListing& listing) {
  ListingCache& cache = g_lastListing;
  cache.windowsFolder = windowsFolder;
  cache.namePattern = namePattern;
  cache.generation = g_generation;
  cache.inode = listing->folderInode;
  cache.listedAt = listedAt;
  cache.listing = listing;
}

// Lists the folder and keeps the listing for the call after. A kept handle of
// a folder removed since reads no record at all: the folder is then looked up
// anew and listed again. Null when it is gone.
SharedListing listAndKeep(HostFolder* folder, const std::string& windowsFolder,
                          const std::string& namePattern) {
  std::shared_ptr<FolderListing> listing = freshListing();
  struct timespec listedAt;
  clock_gettime(CLOCK_REALTIME_COARSE, &listedAt);
  listFolder(*folder, namePattern, listing.get());
  struct stat info;
  if (!listing->anyRecord && fstat(folder->fd, &info) == 0 && info.st_nlink == 0) {
    folder = reopenHostFolder(windowsFolder.data(), windowsFolder.size());
    if (!folder) return nullptr;
    listing->clear();
    clock_gettime(CLOCK_REALTIME_COARSE, &listedAt);
    listFolder(*folder, namePattern, listing.get());
  }
  noteListedLinks(*listing);
  keepListing(windowsFolder, namePattern, listedAt, listing);
  return listing;
}

// Listings are read ahead for the walk's searches of whole folders, except
// while this run's own hive files lie beside the hives: those the walk's
// listings leave out, and the reader does not know them.
bool readAheadServes(const std::string& namePattern) {
  return listingReadAheadOn() && matchesEveryName(namePattern) && !anyOwnHiveFiles();
}

// A listing read ahead is used when it is of this very folder, which has not
// changed since the listing began (the rule of the cache above), and is at
// most this old: the sizes it holds were read then.
constexpr time_t kReadAheadMaxAge = 2;  // seconds

// The folder's listing as read ahead, when it can be used; kept for the call
// after as a listing of its own would be. `expected` tells whether the reader
// had reached this folder.
SharedListing takeReadAhead(const HostFolder& folder, const std::string& windowsFolder,
                            const std::string& namePattern, bool* expected) {
  ReadAheadListing ahead = takeReadAheadListing(windowsFolder);
  *expected = ahead.expected;
  if (!ahead.listing) return nullptr;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME_COARSE, &now);
  struct stat info;
  if (now.tv_sec < ahead.listedAt.tv_sec || now.tv_sec > ahead.listedAt.tv_sec + kReadAheadMaxAge ||
      fstat(folder.fd, &info) != 0 || info.st_nlink == 0 ||
      info.st_ino != ahead.listing->folderInode || !unchangedSince(ahead.listedAt, info))
    return nullptr;
  sortInNtfsOrder(*ahead.listing, &ahead.listing->entries);
  noteListedLinks(*ahead.listing);
  keepListing(windowsFolder, namePattern, ahead.listedAt, ahead.listing);
  return std::move(ahead.listing);
}

// The listing of a search by pattern: kept from the call before, read ahead,
// or listed now. A folder listed now that the reader had not reached sets it
// reading on from there.
SharedListing listForSearch(HostFolder* open, const std::string& windowsFolder,
                            const std::string& namePattern) {
  if (SharedListing kept = takeCachedListing(*open, windowsFolder, namePattern)) return kept;
  const bool readAhead = readAheadServes(namePattern);
  bool expected = false;
  if (readAhead) {
    SharedListing ahead = takeReadAhead(*open, windowsFolder, namePattern, &expected);
    if (ahead) return ahead;
  }
  SharedListing listing = listAndKeep(open, windowsFolder, namePattern);
  if (listing && readAhead && !expected) followListing(windowsFolder, *listing);
  return listing;
}

// The folder of a search by one name, opened through the kept handles. A
// kept handle of a folder removed since is replaced.
HostFolder* openNamedSearchFolder(const std::string& windowsFolder) {
  HostFolder* folder = openHostFolder(windowsFolder.data(), windowsFolder.size());
  struct stat info;
  if (!folder || fstat(folder->fd, &info) != 0) return nullptr;
  if (info.st_nlink > 0) return folder;
  return reopenHostFolder(windowsFolder.data(), windowsFolder.size());
}

}  // namespace

namespace linuxfs {

Handle findFirstFile(const char* pattern, FindData* data) {
  const char* slash = std::strrchr(pattern, '\\');
  if (!slash || !slash[1]) return PLATFORM_INVALID_HANDLE;
  // Kept from call to call, so their room is reused.
  static std::string folder, namePattern;
  folder.assign(pattern, slash + 1);
  namePattern.assign(slash + 1);
  SharedListing listing;
  if (isSearchPattern(namePattern)) {
    HostFolder* open = openHostFolder(folder.data(), folder.size());
    if (!open) return PLATFORM_INVALID_HANDLE;
    listing = listForSearch(open, folder, namePattern);
    if (!listing) return PLATFORM_INVALID_HANDLE;
  } else {
    // "." and ".." name the folder's neighbours, which only a full path resolves.
    if (isDotName(namePattern.c_str())) return PLATFORM_INVALID_HANDLE;
    HostFolder* open = openNamedSearchFolder(folder);
    if (!open) return PLATFORM_INVALID_HANDLE;
    std::shared_ptr<FolderListing> single = freshListing();
    describeFolderEntry(*open, namePattern.c_str(), single.get());
    noteListedLinks(*single);
    listing = std::move(single);
  }
  if (listing->entries.empty()) return PLATFORM_INVALID_HANDLE;
  auto* search = new SearchState();
  search->listing = std::move(listing);
  search->listing->fill(0, data);
  search->next = search->listing->entries.data() + 1;
  search->end = search->listing->entries.data() + search->listing->entries.size();
  ++g_openSearches;
  return search;
}

bool findNextFile(Handle handle, FindData* data) {
  auto* search = static_cast<SearchState*>(handle);
  if (!search || search->next == search->end) return false;
  FolderListing::fillEntry(*search->next++, search->listing->names.get(), data);
  return true;
}

void findClose(Handle handle) {
  if (!handle || handle == PLATFORM_INVALID_HANDLE) return;
  delete static_cast<SearchState*>(handle);
  --g_openSearches;
}

unsigned getDriveType(const char* root) {
  if (!root || !root[0]) return kDriveNoRootDir;
  return hostDriveRoot(root[0]) ? kDriveFixed : kDriveNoRootDir;
}

namespace {

// The entry as it lies in its folder, never through a link; false when it
// cannot be read or is a link, which the platform passes over.
bool describeEntry(const HostEntry& entry, struct stat* info) {
  return fstatat(entry.folderFd, entry.name.c_str(), info, AT_SYMLINK_NOFOLLOW) == 0 &&
         !S_ISLNK(info->st_mode);
}

}  // namespace

bool setFileAttributes(const char* path, uint32_t attributes) {
  hostFilesChanged();
  HostEntry entry;
  struct stat info;
  if (!reachHostEntry(path, &entry) || !describeEntry(entry, &info)) return false;
  mode_t mode = info.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  // With AT_SYMLINK_NOFOLLOW a link put there since is refused, not followed.
  return fchmodat(entry.folderFd, entry.name.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0;
}

bool deleteFile(const char* path) {
  hostFilesChanged();
  HostEntry entry;
  struct stat info;
  if (!reachHostEntry(path, &entry) || !describeEntry(entry, &info) || S_ISDIR(info.st_mode))
    return false;
  if (!(info.st_mode & S_IWUSR)) return false;  // read-only
  return unlinkat(entry.folderFd, entry.name.c_str(), 0) == 0;
}

bool moveFile(const char* from, const char* to) {
  hostFilesChanged();
  HostEntry source, target;
  struct stat info, targetInfo, sourceFolder, targetFolder;
  if (!reachHostEntry(from, &source) || !reachHostEntry(to, &target) ||
      !describeEntry(source, &info))
    return false;
  const bool sameEntry = fstat(source.folderFd, &sourceFolder) == 0 &&
                         fstat(target.folderFd, &targetFolder) == 0 &&
                         sourceFolder.st_dev == targetFolder.st_dev &&
                         sourceFolder.st_ino == targetFolder.st_ino && source.name == target.name;
  if (!sameEntry && fstatat(target.folderFd, target.name.c_str(), &targetInfo,
                            AT_SYMLINK_NOFOLLOW) == 0)
    return false;  // the target exists
  return renameat(source.folderFd, source.name.c_str(), target.folderFd, target.name.c_str()) == 0;
}

bool copyFile(const char* from, const char* to, bool failIfExists) {
  hostFilesChanged();
  HostEntry source, target;
  if (!reachHostEntry(from, &source) || !reachHostEntry(to, &target)) return false;
  const int in = openat(source.folderFd, source.name.c_str(),
                        O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  struct stat info;
  if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(in);
    return false;
  }
  const int out = openat(target.folderFd, target.name.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC |
                             (failIfExists ? O_EXCL : 0),
                         0644);
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

bool isPlainFile(const char* path) {
  HostEntry entry;
  struct stat info;
  return reachHostEntry(path, &entry) && describeEntry(entry, &info) && S_ISREG(info.st_mode);
}

uint32_t getShortPathName(const char* path, char* out, uint32_t capacity) {
  HostEntry entry;
  struct stat info;
  if (!reachHostEntry(path, &entry) || !describeEntry(entry, &info)) return 0;
  const size_t length = std::strlen(path);
  if (length + 1 > capacity) return static_cast<uint32_t>(length + 1);
  std::memcpy(out, path, length + 1);
  return static_cast<uint32_t>(length);
}

int openSearchCount() { return g_openSearches; }

}  // namespace linuxfs
