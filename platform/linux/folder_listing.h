// A folder's entries as a Windows directory search returns them: filtered by
// a search pattern ("*.*", "name.*", "*.exe", "read?e.txt") ignoring letter
// case, in the order an NTFS volume lists them ("." and ".." first, then by
// upper-cased name), with attributes mapped from the host's file modes.
#pragma once
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/folder_handles.h"
#include "platform/types.h"

// One listing. Names are kept side by side in one buffer, so a listing costs
// a few allocations, not one per entry. The buffer keeps kNameSlack readable
// bytes after its last name, so a short name is copied out as one block of
// fixed size.
struct FolderListing {
  static constexpr size_t kNameSlack = 32;
  struct Entry {
    uint32_t nameOffset;
    uint32_t nameLength;
    uint32_t attributes;
    uint64_t size;
  };
  std::vector<Entry> entries;
  // Each name followed by its terminator; at least kNameSlack bytes stand
  // after the last one. Not a vector: growing one fills its new bytes first.
  std::unique_ptr<char[]> names;
  size_t namesUsed = 0;
  size_t namesCapacity = 0;
  // What the folder's own records said: whether it gave any record at all (a
  // removed folder gives none, not even "." and ".."), and the inode number
  // its "." record gave (0 when it gave none).
  bool anyRecord = false;
  uint64_t folderInode = 0;
  // The symbolic links (junctions) among the entries, by device and inode.
  struct Link {
    uint64_t device;
    uint64_t inode;
  };
  std::vector<Link> links;

  const char* name(const Entry& entry) const { return names.get() + entry.nameOffset; }
  // Empties the listing, keeping its room for the next one.
  void clear() {
    entries.clear();
    namesUsed = 0;
    anyRecord = false;
    folderInode = 0;
    links.clear();
  }
  // The entry at `index` as the directory search reports it.
  void fill(size_t index, FindData* data) const { fillEntry(entries[index], names.get(), data); }
  static void fillEntry(const Entry& entry, const char* names, FindData* data) {
    data->attributes = entry.attributes;
    data->sizeHigh = static_cast<uint32_t>(entry.size >> 32);
    data->sizeLow = static_cast<uint32_t>(entry.size);
    static_assert(sizeof data->name >= kNameSlack, "a block fits the name field");
    const char* name = names + entry.nameOffset;
    if (entry.nameLength < kNameSlack)
      std::memcpy(data->name, name, kNameSlack);  // the name, its terminator and more
    else
      std::memcpy(data->name, name, entry.nameLength + 1);
  }
};

// True for "*" and "?" patterns, which list a folder; other names name one entry.
bool isSearchPattern(const std::string& namePattern);
// True for "*.*" and "*", which every name matches.
bool matchesEveryName(const std::string& namePattern);
// True for "." and "..".
bool isDotName(const char* name);

// The entries of `folder` that match `namePattern`, read through its handle
// from the start. A drive's root has no "." and "..", and names that no
// 260-byte path could hold are left out.
void listFolder(HostFolder& folder, const std::string& namePattern, FolderListing* listing);

// Every entry of `folder`, this run's own hive files among them, in the order
// the folder gives them. Unlike the calls above it shares no state, so
// another thread may call it.
void readEveryEntry(HostFolder& folder, FolderListing* listing);
// Puts entries of `listing` in the order of an NTFS listing.
void sortInNtfsOrder(const FolderListing& listing, std::vector<FolderListing::Entry>* entries);

// The one entry `name` of `folder`, as written, else in another letter case;
// empty when there is none.
void describeFolderEntry(const HostFolder& folder, const char* name, FolderListing* listing);

// Counts the links of a listing the walk is shown.
void noteListedLinks(const FolderListing& listing);
// How many different symbolic links (junctions) the listings shown have held
// since forgetListedLinks: each is listed as a folder that is a reparse point
// and never gone through, so a walk passes it over.
size_t linksListed();
void forgetListedLinks();
