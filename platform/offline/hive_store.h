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

class OfflineHive {
 public:
  explicit OfflineHive(HiveLocation location);
  ~OfflineHive();
  OfflineHive(const OfflineHive&) = delete;
  OfflineHive& operator=(const OfflineHive&) = delete;

  const HiveLocation& location() const { return location_; }

  // The hive for reading: opened read-only at the first call. Null when it
  // cannot be opened or is corrupt, which is reported once.
  hive_h* forReading();
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
  void discardChanges() { close(); }

 private:
  hive_h* open(bool writable);
  void close();
  void refuseWrites(const std::string& why);
  bool makeBackup(int configFd);
  bool writeNewHive(int configFd, const std::string& tempName);
  std::string hostPath(const std::string& name) const;

  HiveLocation location_;
  hive_h* hive_ = nullptr;
  bool writable_ = false;
  bool unreadable_ = false;    // reported; never opened again
  bool unwritable_ = false;    // reported; no further change tried
  bool backedUp_ = false;
  dev_t folderDevice_ = 0;     // the config folder as found, checked again before each write
  ino_t folderInode_ = 0;
};
