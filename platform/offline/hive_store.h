// One registry hive file of an offline installation: opened with libhivex when
// first needed (read-only until a change is asked for) and changed only
// through a safe commit. Every path handed to libhivex lies inside the mapped
// drive, and every folder on the way to it is opened without following
// symbolic links.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

typedef struct hive_h hive_h;

// Where a hive file lies: the drive's host folder, the folders below it as
// spelt on disk ("Windows", "System32", "config"), and the file's name.
struct HiveLocation {
  std::string driveRoot;
  std::vector<std::string> folders;
  std::string fileName;
  std::string windowsPath;  // "C:\Windows\System32\config\SOFTWARE", for report lines
};

// Opens `folders` one below the other from `root`, none of them a symbolic
// link; the last one's descriptor, or -1.
int openFolderChain(const std::string& root, const std::vector<std::string>& folders);

// The entry of folder `dirFd` named `name` in any letter case (the exact
// spelling first); empty when there is none.
std::string findEntry(int dirFd, const std::string& name);

// The entry `name` of folder `dirFd` is a file this run wrote beside a hive
// (a backup, a new hive not yet in place): the scan passes over it. Files of
// earlier runs are not the run's own and are scanned like any other.
bool isOwnHiveFile(int dirFd, const char* name);
// Whether the run has written any such file: a listing asks once, not per entry.
bool anyOwnHiveFiles();

class OfflineHive {
 public:
  explicit OfflineHive(HiveLocation location);
  ~OfflineHive();
  OfflineHive(const OfflineHive&) = delete;
  OfflineHive& operator=(const OfflineHive&) = delete;

  const HiveLocation& location() const { return location_; }
  // The hive's format minor version, once it was opened.
  uint32_t minorVersion() const { return minor_; }
  // Not found damaged or unreadable so far.
  bool usable() const { return !unreadable_; }

  // The hive for reading: opened read-only at the first call, after its
  // header and data were checked against each other. Null when it cannot be
  // opened or is damaged, which is reported once.
  hive_h* forReading();
  // libhivex failed to read part of the hive (`what`): it is
  // reported damaged and not used again, and changes not yet written are
  // dropped.
  void readFailed(const std::string& what);
  // The hive for a change: reopened with write access at the first call.
  // Null when it cannot be written (reported once); the file stays untouched.
  hive_h* forWriting();
  // Writes the changed hive: a backup of the original beside it (once per
  // run), the new hive into a temporary file beside it, flushed, read back
  // and renamed over the original. On failure the original stays as it was,
  // the change is dropped, the reason is reported and no further change is
  // made to this hive.
  bool commit();
  // Drops changes not yet committed: the next use reads the file again.
  void discardChanges();

  // Changes held in memory to be committed together (see holdChanges):
  // a change made to the open hive is noted, not written.
  void noteHeldChange() { held_ = true; }
  // Starts a new set of held changes.
  void beginHeldChanges();
  // Commits the changes held since beginHeldChanges, if any; true when every
  // one of them is on disk (none were dropped).
  bool commitHeldChanges();

 private:
  // Opens the file with libhivex; with `damage`, checks it first and says
  // there why it is not used when it is damaged.
  hive_h* open(bool writable, std::string* damage);
  void close();
  void refuseWrites(const std::string& why);
  bool makeBackup(int configFd);
  bool copyBackup(int configFd, int original, const std::string& name);
  bool writeNewHive(int configFd, const std::string& tempName);
  std::string hostPath(const std::string& name) const;

  HiveLocation location_;
  hive_h* hive_ = nullptr;
  bool writable_ = false;
  bool unreadable_ = false;    // reported; never opened again
  bool unwritable_ = false;    // reported; no further change tried
  bool backedUp_ = false;
  uint32_t minor_ = 0;
  bool held_ = false;          // changes made in memory, not yet committed
  bool heldLost_ = false;      // changes of the current set were dropped
  dev_t folderDevice_ = 0;     // the config folder as found, checked again before each write
  ino_t folderInode_ = 0;
};
