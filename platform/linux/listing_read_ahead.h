// Folder listings read ahead of the walk on a second thread.
//
// Listing a folder is mostly the kernel's work (one fstatat per entry); the
// walk's own work per entry (showing it, the size check, opening the few files
// a signature could match) then waits for it. Once the walk has listed a
// folder, this thread lists its subfolders in the order the walk will ask for
// them (depth first, each folder's subfolders in listing order), opening each
// relative to its parent without following a link, as the walk does.
//
// A listing read ahead is a proposal: the walk opens the folder itself and
// uses the listing only when it is of that very folder (its inode) and the
// folder has not changed since the listing began (see files.cpp), else it
// lists the folder again. Any change the platform makes drops what was read
// ahead. The thread touches no other state of the platform.
#pragma once
#include <memory>
#include <string>
#include <time.h>

#include "platform/linux/folder_listing.h"

// Starts reading ahead for the walks to come, on machines with more than one
// processor (with one, the thread would only take turns with the walk).
// Returns whether it is on.
bool startListingReadAhead();
// Stops the thread, once it has finished the folder it is reading, and drops
// what it read. A program may also end with the thread running.
void stopListingReadAhead();
bool listingReadAheadOn();

struct ReadAheadListing {
  // Whether the walk was expected here: the folder was read ahead, or was
  // next to be. When it was not, the walk went elsewhere and the caller
  // starts the reading anew from its own listing (followListing).
  bool expected = false;
  // Null when the folder could not be read. In the order the folder gave
  // its entries, not sorted.
  std::shared_ptr<FolderListing> listing;
  struct timespec listedAt = {};  // CLOCK_REALTIME_COARSE before the listing began
};

// The listing of `windowsFolder` ("C:\a\b\"), waiting for it when it is being
// read or next in line.
ReadAheadListing takeReadAheadListing(const std::string& windowsFolder);

// Drops everything read ahead and reads on from `windowsFolder`, which the
// walk has just listed itself: its subfolders next. The reader opens the
// folder anew from its drive's root, without following a link.
void followListing(const std::string& windowsFolder, const FolderListing& listing);

// Drops everything read ahead; called before the platform changes any file.
void dropReadAhead();
