#include "platform/linux/listing_read_ahead.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/linux/drive_map.h"
#include "platform/offline/hive_store.h"

namespace {

// Listings, and entries in them, that may wait for the walk: past either the
// reader pauses. The walk takes them in the order they are read, so when
// that many wait it has gone elsewhere.
constexpr size_t kMaxAhead = 128;
constexpr size_t kMaxEntriesAhead = 65536;
// A walk that waits is woken once this many listings are ready (or nothing is
// left to read): a wake-up per batch of folders, not per folder, as each
// costs the reader more than listing a few files.
constexpr size_t kWakeBatch = 32;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

// A folder to read: a subfolder of a folder the reader has open (its key), or
// with key 0 of the folder the walk asked to go on from.
struct Pending {
  uint64_t parent;
  std::string name;    // as stored in the parent
  std::string folder;  // its Windows path, "C:\a\b\"
};

// Listings the reader fills, given back when the walk is done with them: their
// room is reused, not allocated by one thread and freed by the other, which
// costs the allocator more than a listing's parsing. Never destroyed, as a
// listing may be given back while the program ends.
class ListingPool {
 public:
  static ListingPool& instance() {
    static auto* pool = new ListingPool;
    return *pool;
  }
  FolderListing* take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!spare_.empty()) {
        FolderListing* listing = spare_.back();
        spare_.pop_back();
        return listing;
      }
    }
    return new FolderListing;
  }
  void giveBack(FolderListing* listing) {
    // A listing of a large folder is not kept: its room would stay taken.
    if (listing->entries.capacity() <= kLargestKept && listing->namesCapacity <= kLargestNames) {
      listing->clear();
      std::lock_guard<std::mutex> lock(mutex_);
      if (spare_.size() < kMaxAhead) {
        spare_.push_back(listing);
        return;
      }
    }
    delete listing;
  }

 private:
  static constexpr size_t kLargestKept = 512;       // entries
  static constexpr size_t kLargestNames = 16384;    // bytes
  std::mutex mutex_;
  std::vector<FolderListing*> spare_;
};

struct GiveBack {
  void operator()(FolderListing* listing) const { ListingPool::instance().giveBack(listing); }
};
using PooledListing = std::unique_ptr<FolderListing, GiveBack>;

struct Ready {
  std::string folder;
  PooledListing listing;  // null when it could not be read
  struct timespec listedAt;
};

// The folders the reader holds open: the path from the folder it went on
// from down to the one it read last, each under the key its subfolders name.
// A subfolder is read only after every folder queued after it, so when a
// folder's turn comes, the open folders below its parent are done with.
// Private to the reader's thread, whose descriptors they are.
class OpenPath {
 public:
  ~OpenPath() { clear(); }
  void clear() {
    for (const Level& level : levels_) close(level.fd);
    levels_.clear();
  }
  // The descriptor of `key`, closing the levels below it; -1 when it is not open.
  int reach(uint64_t key) {
    while (!levels_.empty() && levels_.back().key > key) {
      close(levels_.back().fd);
      levels_.pop_back();
    }
    return !levels_.empty() && levels_.back().key == key ? levels_.back().fd : -1;
  }
  void push(uint64_t key, int fd) { levels_.push_back({key, fd}); }

 private:
  struct Level {
    uint64_t key;
    int fd;
  };
  std::vector<Level> levels_;
};

// Closes every descriptor of the calling thread's table (one a thread has to
// itself); where the kernel cannot (before Linux 5.9) they stay open.
void closeEveryDescriptor() {
#ifdef SYS_close_range
  syscall(SYS_close_range, 0u, ~0u, 0u);
#endif
}

class Reader {
 public:
  bool start() {
    if (thread_.joinable()) return true;
    if (sched_getaffinity(0, sizeof walkCpus_, &walkCpus_) != 0 || CPU_COUNT(&walkCpus_) < 2) return false;
    splitCpus();
    // Signals stay with the walk's thread (the console's interrupt handler).
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    try {
      thread_ = std::thread(&Reader::run, this);
    } catch (const std::system_error&) {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!thread_.joinable()) return false;
    sched_setaffinity(0, sizeof ownCpus_, &ownCpus_);
    return true;
  }

  void stop() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
      dropLocked();
    }
    work_.notify_all();
    thread_.join();
    quit_ = false;
    sched_setaffinity(0, sizeof walkCpus_, &walkCpus_);
  }

  bool on() const { return thread_.joinable(); }

  ReadAheadListing take(const std::string& folder) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto found = findDone(folder);
    if (found == done_.end()) {
      const bool next =
          reading_ == folder || (!pending_.empty() && pending_.front().folder == folder && !full());
      if (!next) return {};
      wanted_ = folder;
      ready_.wait(lock, [&] { return (found = findDone(folder)) != done_.end(); });
      wanted_.clear();
    }
    ReadAheadListing result;
    result.expected = true;
    result.listing = std::shared_ptr<FolderListing>(std::move(found->listing));
    result.listedAt = found->listedAt;
    const bool readerWasFull = full();
    if (result.listing) entriesReady_ -= result.listing->entries.size();
    done_.erase(found);
    lock.unlock();
    if (readerWasFull) work_.notify_one();
    return result;
  }

  void follow(const std::string& folder, const FolderListing& listing) {
    const std::string* root = hostDriveRoot(folder[0]);
    if (!root) return;
    // The components after "C:\", each a name as the folder stores it: the
    // walk's folders are never named with "." or ".." or another separator.
    std::vector<std::string> components;
    for (size_t at = 3; at < folder.size();) {
      const size_t end = folder.find('\\', at);
      if (end == std::string::npos) return;
      components.emplace_back(folder, at, end - at);
      const std::string& name = components.back();
      if (name.empty() || isDotName(name.c_str()) || name.find('/') != std::string::npos) return;
      at = end + 1;
    }
    std::vector<Pending> subfolders = subfoldersOf(0, folder, listing);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dropLocked();
      startRoot_ = *root;
      startComponents_ = std::move(components);
      queueFirst(std::move(subfolders));
    }
    work_.notify_one();
  }

  void drop() {
    std::lock_guard<std::mutex> lock(mutex_);
    dropLocked();
  }

 private:
  // The processors the walk may use, split in two halves, the walk keeping
  // the one it runs on: where the two threads could share one processor, the
  // scheduler now and then puts the walk, woken, beside the reader, which
  // then waits its turn for milliseconds.
  void splitCpus() {
    const int here = sched_getcpu();
    const int half = CPU_COUNT(&walkCpus_) / 2;
    CPU_ZERO(&ownCpus_);
    CPU_ZERO(&readerCpus_);
    int seen = 0;
    bool hereFirst = true;  // whether the walk's processor falls in the first half
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (!CPU_ISSET(cpu, &walkCpus_)) continue;
      if (cpu == here) hereFirst = seen < half;
      CPU_SET(cpu, seen++ < half ? &ownCpus_ : &readerCpus_);
    }
    if (!hereFirst) std::swap(ownCpus_, readerCpus_);
  }

  // The listing of `folder` among those ready: the first, unless the walk
  // went elsewhere.
  std::deque<Ready>::iterator findDone(const std::string& folder) {
    auto ready = done_.begin();
    while (ready != done_.end() && ready->folder != folder) ++ready;
    return ready;
  }

  void dropLocked() {
    ++round_;
    pending_.clear();
    done_.clear();
    entriesReady_ = 0;
  }

  bool full() const { return done_.size() >= kMaxAhead || entriesReady_ >= kMaxEntriesAhead; }

  // The subfolders of a listed folder in the walk's order. A folder whose
  // search pattern would not fit a 260-byte path is not walked, and a link (a
  // reparse point) is never listed.
  static std::vector<Pending> subfoldersOf(uint64_t parent, const std::string& folder,
                                           const FolderListing& listing) {
    thread_local std::vector<FolderListing::Entry> entries;
    entries.clear();
    for (const FolderListing::Entry& entry : listing.entries)
      if ((entry.attributes & (kAttrDirectory | kAttrReparsePoint)) == kAttrDirectory &&
          !isDotName(listing.name(entry)))
        entries.push_back(entry);
    sortInNtfsOrder(listing, &entries);
    std::vector<Pending> subfolders;
    for (const FolderListing::Entry& entry : entries) {
      if (folder.size() + entry.nameLength + 1 + 3 >= kMaxPath) continue;  // "...\name\*.*"
      const char* name = listing.name(entry);
      Pending next{parent, std::string(name, entry.nameLength), std::string()};
      next.folder.reserve(folder.size() + entry.nameLength + 1);
      next.folder.append(folder).append(name, entry.nameLength).push_back('\\');
      subfolders.push_back(std::move(next));
    }
    return subfolders;
  }

  // Puts folders next in line, in their order.
  void queueFirst(std::vector<Pending>&& folders) {
    pending_.insert(pending_.begin(), std::make_move_iterator(folders.begin()),
                    std::make_move_iterator(folders.end()));
  }

  // Whether the walk, waiting for the listing it wants, should be woken now.
  bool wakeWalk() {
    return !wanted_.empty() && (done_.size() >= kWakeBatch || pending_.empty() || full()) &&
           findDone(wanted_) != done_.end();
  }

  void run() {
    // A descriptor table of its own: a table two threads share makes the
    // kernel count references on every call given a descriptor, a few per
    // cent of a listing's cost. Everything the reader opens it closes itself.
    // Its copies of the walk's descriptors are closed at once, so that none
    // is held open longer than the walk holds it (a pipe's end, say).
    if (unshare(CLONE_FILES) == 0) closeEveryDescriptor();
    sched_setaffinity(0, sizeof readerCpus_, &readerCpus_);
    OpenPath open;
    uint64_t round = 0;
    uint64_t nextKey = 1;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [&] { return quit_ || (!pending_.empty() && !full()); });
      if (quit_) return;
      Pending next = std::move(pending_.front());
      pending_.pop_front();
      reading_ = next.folder;
      const bool newRound = round != round_;
      round = round_;
      std::string root;
      std::vector<std::string> components;
      if (newRound) {
        root = startRoot_;
        components = startComponents_;
      }
      lock.unlock();

      if (newRound) {
        open.clear();
        nextKey = 1;
        const int start = openFolderChain(root, components);
        if (start >= 0) open.push(0, start);
      }
      struct timespec listedAt;
      clock_gettime(CLOCK_REALTIME_COARSE, &listedAt);
      PooledListing listing;
      std::vector<Pending> subfolders;
      const int parentFd = open.reach(next.parent);
      const int fd = parentFd < 0 ? -1 : openat(parentFd, next.name.c_str(), kFolderFlags);
      if (fd >= 0) {
        listing.reset(ListingPool::instance().take());
        HostFolder folder{fd, false, true};
        readEveryEntry(folder, listing.get());
        subfolders = subfoldersOf(nextKey, next.folder, *listing);
        if (subfolders.empty()) {
          close(fd);
        } else {
          open.push(nextKey++, fd);
        }
      }

      lock.lock();
      reading_.clear();
      if (round != round_) continue;  // dropped while it was read
      queueFirst(std::move(subfolders));
      if (listing) entriesReady_ += listing->entries.size();
      done_.push_back(Ready{std::move(next.folder), std::move(listing), listedAt});
      if (wakeWalk()) ready_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;   // the reader waits for folders to read
  std::condition_variable ready_;  // the walk waits for a listing
  std::deque<Pending> pending_;
  std::deque<Ready> done_;  // in the order they were read
  size_t entriesReady_ = 0;  // in the listings of done_
  std::string reading_;  // the folder being read now
  std::string wanted_;   // the folder the walk waits for
  // Each drop begins a new round; a listing of an older one is not kept. The
  // folder the current round goes on from: its drive's host folder and the
  // components below it.
  uint64_t round_ = 0;
  std::string startRoot_;
  std::vector<std::string> startComponents_;
  bool quit_ = false;
  cpu_set_t walkCpus_;    // the processors the program may run on
  cpu_set_t ownCpus_;     // those the walk keeps to while the reader runs
  cpu_set_t readerCpus_;  // and those of the reader
  std::thread thread_;
};

// Never destroyed: at the program's end the reader may still be reading (a
// slow disk's folder, say), and the end neither waits for it nor pulls its
// state away from under it.
Reader& g_reader = *new Reader;

}  // namespace

bool startListingReadAhead() { return g_reader.start(); }
void stopListingReadAhead() { g_reader.stop(); }
bool listingReadAheadOn() { return g_reader.on(); }

ReadAheadListing takeReadAheadListing(const std::string& windowsFolder) {
  return g_reader.take(windowsFolder);
}

void followListing(const std::string& windowsFolder, const FolderListing& listing) {
  g_reader.follow(windowsFolder, listing);
}

void dropReadAhead() {
  if (g_reader.on()) g_reader.drop();
}
