#include "platform/linux/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <set>
#include <utility>

#include "platform/ascii.h"
#include "platform/offline/hive_store.h"

namespace {

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
    if (*pattern != '?' && asciiUpper(*pattern) != asciiUpper(*name)) return false;
    ++pattern;
    ++name;
  }
  return *name == 0;
}

bool nameMatches(const std::string& pattern, const char* name) {
  if (wildcardMatch(pattern.c_str(), name)) return true;
  // "name.*" also finds "name" without an extension, as on Windows.
  if (pattern.size() > 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
      !std::strchr(name, '.'))
    return wildcardMatch(pattern.substr(0, pattern.size() - 2).c_str(), name);
  return false;
}

// The links the walk was shown so far, each once however often its folder is listed.
std::set<std::pair<uint64_t, uint64_t>> g_linksListed;

// Attributes and size of an entry of `dirFd`; false when it cannot be read.
// A folder needs no stat: its size reads 0 and its mode is not reported.
// A symbolic link (the Linux NTFS drivers show junctions as such) is never
// followed, not even to learn its target's kind: it reads as a junction does,
// a folder that is a reparse point, so a walk does not take it for a file to
// open, and listing it fails as the platform goes through no link.
// A link found is added to `links`.
bool describe(int dirFd, const char* hostName, unsigned char type, uint32_t* attributes,
              uint64_t* size, std::vector<FolderListing::Link>& links) {
  if (type == DT_DIR) {
    *attributes = kAttrDirectory;
    *size = 0;
    return true;
  }
  struct stat info;
  if (fstatat(dirFd, hostName, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  *size = 0;
  if (S_ISLNK(info.st_mode)) {
    links.push_back({static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)});
    *attributes = kAttrDirectory | kAttrReparsePoint;
    return true;
  }
  uint32_t bits = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  if (!(info.st_mode & S_IWUSR)) bits |= kAttrReadOnly;
  *attributes = bits;
  if (!S_ISDIR(info.st_mode)) *size = static_cast<uint64_t>(info.st_size);
  return true;
}

// Adds the entry `name` of `length` bytes; at least kNameSlack bytes from
// `name` on must be readable.
void addEntry(FolderListing& listing, int dirFd, const char* name, size_t length,
              unsigned char type) {
  FolderListing::Entry entry;
  if (!describe(dirFd, name, type, &entry.attributes, &entry.size, listing.links)) return;
  const size_t at = listing.namesUsed;
  entry.nameOffset = static_cast<uint32_t>(at);
  entry.nameLength = static_cast<uint32_t>(length);
  const size_t needed = at + length + 1 + FolderListing::kNameSlack;
  if (needed > listing.namesCapacity) {
    const size_t capacity = std::max<size_t>(4096, 2 * needed);
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (at) std::memcpy(grown.get(), listing.names.get(), at);
    listing.names = std::move(grown);
    listing.namesCapacity = capacity;
  }
  // A short name is copied as one block of fixed size (the source buffer and
  // the slack leave room for it); the bytes past its terminator are written
  // over by the next name or left as slack.
  if (length < FolderListing::kNameSlack)
    std::memcpy(listing.names.get() + at, name, FolderListing::kNameSlack);
  else
    std::memcpy(listing.names.get() + at, name, length + 1);
  listing.namesUsed = at + length + 1;
  listing.entries.push_back(entry);
}

// Zeroes the bytes after the last name, which word loads and block copies
// read (their values never count).
void zeroNameSlack(FolderListing& listing) {
  if (listing.names) std::memset(listing.names.get() + listing.namesUsed, 0, FolderListing::kNameSlack);
}

// NTFS order: "." and ".." first, even where a name such as "!a" would sort
// before them (their keys are "" and "\x01"), then by upper-cased name; equal
// keys keep the order in which the folder gave them, which is the order of
// their names in the buffer.
class NtfsOrder {
 public:
  explicit NtfsOrder(const FolderListing& listing) : listing_(listing) {}

  bool operator()(const FolderListing::Entry& a, const FolderListing::Entry& b) const {
    uint32_t lengthA, lengthB;
    const char* keyA = key(a, &lengthA);
    const char* keyB = key(b, &lengthB);
    for (uint32_t i = 0, end = std::min(lengthA, lengthB); i < end; ++i) {
      const unsigned char x = static_cast<unsigned char>(asciiUpper(keyA[i]));
      const unsigned char y = static_cast<unsigned char>(asciiUpper(keyB[i]));
      if (x != y) return x < y;
    }
    if (lengthA != lengthB) return lengthA < lengthB;
    return a.nameOffset < b.nameOffset;
  }

 private:
  const char* key(const FolderListing::Entry& entry, uint32_t* length) const {
    const char* name = listing_.name(entry);
    if (!isDotName(name)) {
      *length = entry.nameLength;
      return name;
    }
    *length = name[1] ? 1 : 0;
    return "\x01";
  }

  const FolderListing& listing_;
};

// Eight bytes from `at` on, the first as the highest: one load. The bytes
// must be readable, which the names buffer's slack makes them.
uint64_t loadBigEndian(const char* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return __builtin_bswap64(word);
}

// Eight bytes of a name from `at` on, upper-cased, as one number that orders
// as the bytes do; past the name's end it reads zeros, which no name holds.
uint64_t keyWord(const char* name, uint32_t length, uint32_t at) {
  if (at >= length) return 0;
  uint64_t word = loadBigEndian(name + at);
  if (length - at < 8) word &= ~0ull << (8 * (8 - (length - at)));
  // Letters a to z lose their 0x20 bit, all eight at once: the high bit of a
  // byte's lane marks it at or above 'a' and not above 'z' (bytes of 0x80 and
  // more are left alone).
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t low = word & (0x7F * kOnes);
  const uint64_t atLeastA = low + (0x80 - 'a') * kOnes;
  const uint64_t aboveZ = low + (0x7F - 'z') * kOnes;
  const uint64_t lower = atLeastA & ~aboveZ & ~word & (0x80 * kOnes);
  return word ^ (lower >> 2);
}

// How many bytes `a` and `b` begin with alike, at most `limit`, compared
// eight at a time (both must be readable that far and seven bytes beyond).
uint32_t sameBytes(const char* a, const char* b, uint32_t limit) {
  uint32_t same = 0;
  while (same < limit) {
    const uint64_t differ = loadBigEndian(a + same) ^ loadBigEndian(b + same);
    if (differ) return std::min(limit, same + static_cast<uint32_t>(__builtin_clzll(differ) / 8));
    same += 8;
  }
  return limit;
}

// Sorts in NTFS order. The names of a folder often share their beginning
// ("file000120.dat", "file000121.dat"): they are compared first by the key
// bytes after the part all of them share byte for byte, and only where those
// are equal by their whole keys. "." and ".." are placed afterwards, by the
// whole order.
void sortEntries(const FolderListing& listing, std::vector<FolderListing::Entry>& entries) {
  using Entry = FolderListing::Entry;
  if (entries.size() < 2) return;
  const NtfsOrder order(listing);
  thread_local std::vector<Entry> dots;
  thread_local std::vector<Entry> named;
  dots.clear();
  named.clear();
  uint32_t shared = 0;  // bytes every name begins with
  const char* first = nullptr;
  for (const Entry& entry : entries) {
    const char* name = listing.name(entry);
    if (isDotName(name)) {
      dots.push_back(entry);
      continue;
    }
    if (!first) {
      first = name;
      shared = entry.nameLength;
    } else {
      shared = sameBytes(first, name, std::min(shared, entry.nameLength));
    }
    named.push_back(entry);
  }

  // Each name's sixteen key bytes as one number, its last two bytes giving
  // way to the name's index in `named`: one comparison of numbers orders
  // the names by their first fourteen key bytes. The few alike in those are
  // put in the whole order afterwards.
  using Key = unsigned __int128;
  constexpr uint32_t kIndexBits = 16;
  constexpr uint64_t kIndexMask = (1u << kIndexBits) - 1;
  Entry* out = entries.data();
  if (named.size() <= kIndexMask + 1) {
    thread_local std::vector<Key> keys;
    keys.resize(named.size());
    for (uint32_t i = 0; i < named.size(); ++i) {
      const char* name = listing.name(named[i]);
      const uint64_t high = keyWord(name, named[i].nameLength, shared);
      const uint64_t low = keyWord(name, named[i].nameLength, shared + 8);
      keys[i] = (static_cast<Key>(high) << 64) | (low & ~kIndexMask) | i;
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < keys.size(); ++i) out[i] = named[static_cast<uint32_t>(keys[i] & kIndexMask)];
    for (size_t run = 0; run < keys.size();) {
      size_t end = run + 1;
      while (end < keys.size() && (keys[end] >> kIndexBits) == (keys[run] >> kIndexBits)) ++end;
      if (end - run > 1) std::sort(out + run, out + end, order);
      run = end;
    }
  } else {
    for (const Entry& entry : named) *out++ = entry;
    std::sort(entries.begin(), entries.begin() + named.size(), order);
  }
  entries.resize(named.size());
  for (const Entry& dot : dots)
    entries.insert(std::upper_bound(entries.begin(), entries.end(), dot, order), dot);
}

}  // namespace

bool isSearchPattern(const std::string& namePattern) {
  return namePattern.find_first_of("*?") != std::string::npos;
}

bool matchesEveryName(const std::string& namePattern) {
  return namePattern == "*.*" || namePattern == "*";
}

bool isDotName(const char* name) {
  return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]));
}

namespace {

// Reads the folder's records from the start and adds the entries `keep`
// accepts, in the folder's own order. Uses nothing but the folder, the listing
// and a buffer of the calling thread, so a listing can be read on any thread.
template <typename Keep>
void readListing(HostFolder& folder, FolderListing* listing, const Keep& keep) {
  // Room for a typical folder at once: growing the vectors entry by entry
  // costs more than the listing's own parsing.
  listing->entries.reserve(128);
  if (!folder.atStart && lseek(folder.fd, 0, SEEK_SET) != 0) return;
  folder.atStart = false;
  // Room past the records for a block copy of the last name (addEntry).
  constexpr size_t kRecordBytes = 32768;
  thread_local char buffer[kRecordBytes + FolderListing::kNameSlack];
  for (;;) {
    const ssize_t got = getdents64(folder.fd, buffer, kRecordBytes);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* item = reinterpret_cast<const struct dirent64*>(buffer + at);
      at += item->d_reclen;
      const char* name = item->d_name;
      listing->anyRecord = true;
      // The record is the name and its terminator rounded up to 8 bytes: the
      // terminator is one of its last 8 bytes that may follow the name (the
      // bytes after the terminator are not necessarily zeros).
      const size_t room = item->d_reclen - offsetof(struct dirent64, d_name);
      size_t length = room > 8 ? room - 8 : 0;
      while (length < room && name[length]) ++length;
      if (length >= kMaxPath) continue;  // cannot be named
      const bool dot = isDotName(name);
      if (dot && length == 1) listing->folderInode = item->d_ino;
      if (dot && folder.driveRoot) continue;  // a volume's root has no "." and ".."
      if (!keep(name)) continue;
      addEntry(*listing, folder.fd, name, length, dot ? static_cast<unsigned char>(DT_DIR) : item->d_type);
    }
  }
  zeroNameSlack(*listing);
}

}  // namespace

void listFolder(HostFolder& folder, const std::string& namePattern, FolderListing* listing) {
  const bool everything = matchesEveryName(namePattern);
  const bool ownFiles = anyOwnHiveFiles();  // none are written during a listing
  const int fd = folder.fd;
  readListing(folder, listing, [&](const char* name) {
    if (!everything && !nameMatches(namePattern, name)) return false;
    return !(ownFiles && isOwnHiveFile(fd, name));  // a backup or new hive of this run
  });
  sortInNtfsOrder(*listing, &listing->entries);
}

void sortInNtfsOrder(const FolderListing& listing, std::vector<FolderListing::Entry>* entries) {
  sortEntries(listing, *entries);
}

void readEveryEntry(HostFolder& folder, FolderListing* listing) {
  readListing(folder, listing, [](const char*) { return true; });
}

void describeFolderEntry(const HostFolder& folder, const char* name, FolderListing* listing) {
  const std::string stored = storedEntryName(folder.fd, name);
  // addEntry reads a block past a short name.
  char padded[kMaxPath + FolderListing::kNameSlack] = {};
  if (!stored.empty() && stored.size() < kMaxPath && !isOwnHiveFile(folder.fd, stored.c_str())) {
    std::memcpy(padded, stored.data(), stored.size());
    addEntry(*listing, folder.fd, padded, stored.size(), DT_UNKNOWN);
  }
  zeroNameSlack(*listing);
}

void noteListedLinks(const FolderListing& listing) {
  for (const FolderListing::Link& link : listing.links)
    g_linksListed.emplace(link.device, link.inode);
}

size_t linksListed() { return g_linksListed.size(); }
void forgetListedLinks() { g_linksListed.clear(); }
