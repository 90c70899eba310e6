#include "platform/offline/hive_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <hivex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/ascii.h"
#include "platform/offline/hive_probe.h"
#include "platform/system.h"

namespace {

constexpr const char* kTempSuffix = ".drenvalisk-new";
constexpr const char* kBackupSuffix = ".drenvalisk-backup-";

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool writeAll(int fd, const char* bytes, size_t length) {
  while (length > 0) {
    ssize_t wrote = ::write(fd, bytes, length);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = ENOSPC;
      return false;
    }
    bytes += wrote;
    length -= static_cast<size_t>(wrote);
  }
  return true;
}

// Copies the whole of `from` into `to`; false (errno set) on any failure.
bool copyContent(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeAll(to, buffer, static_cast<size_t>(got))) return false;
  }
}

std::string reasonFor(int error) {
  if (error == ENOTSUP || error == EINVAL || error == ERANGE || error == EFAULT)
    return "not a valid registry hive, or damaged";
  return std::strerror(error);
}

std::string timestamp() {
  std::time_t now = std::time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

std::string windowsFolderOf(const std::string& windowsPath) {
  return windowsPath.substr(0, windowsPath.rfind('\\') + 1);
}

// The files the hives of this run wrote beside themselves, by folder and
// name, for as long as the hive that wrote them is in use.
struct OwnFile {
  const OfflineHive* owner;
  dev_t device;
  ino_t folder;
  std::string name;
};
std::vector<OwnFile> g_ownFiles;

void noteOwnFile(const OfflineHive* owner, int folderFd, const std::string& name) {
  for (const OwnFile& own : g_ownFiles)
    if (own.owner == owner && own.name == name) return;
  struct stat info;
  if (fstat(folderFd, &info) == 0) g_ownFiles.push_back(OwnFile{owner, info.st_dev, info.st_ino, name});
}

// A hard link cannot be made here (the file system has none, or refuses
// them): the backup is copied instead.
bool linksRefused(int error) {
  return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK ||
         error == ENOSYS || error == EXDEV;
}

}  // namespace

bool anyOwnHiveFiles() { return !g_ownFiles.empty(); }

bool isOwnHiveFile(int dirFd, const char* name) {
  if (g_ownFiles.empty()) return false;
  struct stat info;
  bool statted = false;
  for (const OwnFile& own : g_ownFiles) {
    if (own.name != name) continue;
    if (!statted && fstat(dirFd, &info) != 0) return false;
    statted = true;
    if (info.st_dev == own.device && info.st_ino == own.folder) return true;
  }
  return false;
}

int openFolderChain(const std::string& root, const std::vector<std::string>& folders) {
  int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (const std::string& folder : folders) {
    if (fd < 0) return -1;
    int next = ::openat(fd, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    fd = next;
  }
  return fd;
}

std::string findEntry(int dirFd, const std::string& name) {
  struct stat info;
  if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return name;
  int listFd = ::dup(dirFd);
  DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
  if (!dir) {
    if (listFd >= 0) ::close(listFd);
    return std::string();
  }
  std::string found;
  rewinddir(dir);
  while (dirent* entry = readdir(dir)) {
    if (asciiEqualNoCase(entry->d_name, name.c_str()) && (found.empty() || found > entry->d_name))
      found = entry->d_name;  // the first in byte order, whatever order the folder lists
  }
  closedir(dir);
  return found;
}

OfflineHive::OfflineHive(HiveLocation location) : location_(std::move(location)) {}

OfflineHive::~OfflineHive() {
  close();
  g_ownFiles.erase(std::remove_if(g_ownFiles.begin(), g_ownFiles.end(),
                                  [this](const OwnFile& own) { return own.owner == this; }),
                   g_ownFiles.end());
}

std::string OfflineHive::hostPath(const std::string& name) const {
  std::string path = location_.driveRoot;
  for (const std::string& folder : location_.folders) path += "/" + folder;
  return path + "/" + name;
}

void OfflineHive::close() {
  if (hive_) hivex_close(hive_);
  hive_ = nullptr;
  writable_ = false;
  if (held_) heldLost_ = true;  // the changes in memory go with the handle
  held_ = false;
}

void OfflineHive::discardChanges() { close(); }

void OfflineHive::beginHeldChanges() {
  held_ = false;
  heldLost_ = false;
}

bool OfflineHive::commitHeldChanges() {
  if (held_) {
    held_ = false;
    if (!commit()) heldLost_ = true;
  }
  return !heldLost_;
}

hive_h* OfflineHive::open(bool writable, std::string* damage) {
  Descriptor folder(openFolderChain(location_.driveRoot, location_.folders));
  struct stat info;
  if (!folder.valid() || fstat(folder.get(), &info) != 0) return nullptr;
  if (folderInode_ == 0) {
    folderDevice_ = info.st_dev;
    folderInode_ = info.st_ino;
  } else if (info.st_dev != folderDevice_ || info.st_ino != folderInode_) {
    errno = ESTALE;  // the folder was replaced since the hive was found
    return nullptr;
  }
  if (fstatat(folder.get(), location_.fileName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return nullptr;
  if (!S_ISREG(info.st_mode)) {
    errno = S_ISLNK(info.st_mode) ? ELOOP : EINVAL;
    return nullptr;
  }
  {
    Descriptor file(::openat(folder.get(), location_.fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid()) return nullptr;
    HiveProbe probe(file.get());
    minor_ = probe.minorVersion();
    if (damage) {
      *damage = probe.damage();
      if (!damage->empty()) {
        errno = EINVAL;
        return nullptr;
      }
    }
  }
  hive_h* hive = hivex_open(hostPath(location_.fileName).c_str(), writable ? HIVEX_OPEN_WRITE : 0);
  if (!hive && damage) *damage = std::string("libhivex cannot open it: ") + reasonFor(errno);
  return hive;
}

hive_h* OfflineHive::forReading() {
  if (hive_ || unreadable_) return hive_;
  std::string damage;
  hive_ = open(false, &damage);
  if (!hive_) {
    unreadable_ = true;
    std::string line = location_.windowsPath;
    if (!damage.empty())
      line += "     registry hive is damaged: " + damage + "; its entries are not checked, and it is left unchanged";
    else
      line += "     registry hive not used: " + reasonFor(errno) + "; its entries are not cleaned";
    platformNotice(line.c_str());
  }
  return hive_;
}

void OfflineHive::readFailed(const std::string& what) {
  close();
  if (unreadable_) return;
  unreadable_ = unwritable_ = true;
  std::string line = location_.windowsPath + "     registry hive is damaged: libhivex cannot read " +
                     what + "; its entries are not checked, and it is " +
                     (backedUp_ ? "left as this run last wrote it" : "left unchanged");
  platformNotice(line.c_str());
}

void OfflineHive::refuseWrites(const std::string& why) {
  close();
  if (unwritable_) return;
  unwritable_ = true;
  std::string line = location_.windowsPath + "     registry hive left unchanged: " + why;
  platformNotice(line.c_str());
}

hive_h* OfflineHive::forWriting() {
  if (unwritable_ || unreadable_) return nullptr;
  if (hive_ && writable_) return hive_;
  {
    Descriptor folder(openFolderChain(location_.driveRoot, location_.folders));
    Descriptor file(folder.valid() ? ::openat(folder.get(), location_.fileName.c_str(),
                                              O_RDONLY | O_NOFOLLOW | O_CLOEXEC)
                                   : -1);
    if (file.valid() && HiveProbe(file.get()).dirty()) {
      refuseWrites("Windows did not close it cleanly (hibernated, or Fast Startup), so its log "
                   "files may hold newer changes; start and shut down that Windows first");
      return nullptr;
    }
  }
  close();
  hive_ = open(true, nullptr);
  if (!hive_) {
    refuseWrites(reasonFor(errno));
    return nullptr;
  }
  writable_ = true;
  return hive_;
}

bool OfflineHive::makeBackup(int configFd) {
  Descriptor original(::openat(configFd, location_.fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!original.valid() || fstat(original.get(), &info) != 0) return false;
  // The original file itself becomes the backup: a second name for it now,
  // its only name once the new hive is renamed over it. Nothing is copied
  // unless the file system has no hard links.
  const std::string base = location_.fileName + kBackupSuffix + timestamp();
  std::string name = base;
  bool made = false;
  for (int attempt = 2; !made && attempt < 100; ++attempt) {
    if (::linkat(configFd, location_.fileName.c_str(), configFd, name.c_str(), 0) == 0) {
      made = true;
    } else if (errno == EEXIST) {
      name = base + "-" + std::to_string(attempt);
    } else if (linksRefused(errno)) {
      if (!copyBackup(configFd, original.get(), name)) return false;
      made = true;
    } else {
      return false;
    }
  }
  if (!made) return false;
  noteOwnFile(this, configFd, name);
  fsync(configFd);
  backedUp_ = true;
  std::string line = location_.windowsPath + "     registry hive backed up as " +
                     windowsFolderOf(location_.windowsPath) + name;
  platformNotice(line.c_str());
  return true;
}

// Copies the original into a new file `name`, which must not exist yet; a
// copy that could not be completed is removed.
bool OfflineHive::copyBackup(int configFd, int original, const std::string& name) {
  struct stat info;
  if (fstat(original, &info) != 0) return false;
  Descriptor backup(::openat(configFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             info.st_mode & 0777));
  if (!backup.valid()) return false;
  if (copyContent(original, backup.get()) && fsync(backup.get()) == 0) return true;
  const int error = errno;
  ::unlinkat(configFd, name.c_str(), 0);
  errno = error;
  return false;
}

bool OfflineHive::writeNewHive(int configFd, const std::string& tempName) {
  struct stat original;
  if (fstatat(configFd, location_.fileName.c_str(), &original, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  // A file left by an interrupted run is replaced; a name taken by anything
  // but a file of ours (a link) is removed, never followed.
  if (::unlinkat(configFd, tempName.c_str(), 0) != 0 && errno != ENOENT) return false;
  struct stat created;
  {
    Descriptor fd(::openat(configFd, tempName.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           original.st_mode & 0777));
    if (!fd.valid() || fstat(fd.get(), &created) != 0) return false;
  }
  noteOwnFile(this, configFd, tempName);
  int committed = hivex_commit(hive_, hostPath(tempName).c_str(), 0);
  if (committed != 0) return false;
  Descriptor written(::openat(configFd, tempName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!written.valid() || fstat(written.get(), &info) != 0) return false;
  if (info.st_ino != created.st_ino || info.st_dev != created.st_dev) {
    errno = ESTALE;
    return false;
  }
  if (fsync(written.get()) != 0) return false;
  // What replaces the original must read back as a hive.
  hive_h* check = hivex_open(hostPath(tempName).c_str(), 0);
  if (!check) return false;
  hivex_close(check);
  return true;
}

bool OfflineHive::commit() {
  if (!hive_ || !writable_) return false;
  Descriptor folder(openFolderChain(location_.driveRoot, location_.folders));
  struct stat info;
  if (!folder.valid() || fstat(folder.get(), &info) != 0 || info.st_dev != folderDevice_ ||
      info.st_ino != folderInode_) {
    refuseWrites("its folder cannot be reached the way it was found");
    return false;
  }
  if (!backedUp_ && !makeBackup(folder.get())) {
    refuseWrites(std::string("no backup could be made: ") + std::strerror(errno));
    return false;
  }
  const std::string tempName = location_.fileName + kTempSuffix;
  if (!writeNewHive(folder.get(), tempName) ||
      ::renameat(folder.get(), tempName.c_str(), folder.get(), location_.fileName.c_str()) != 0) {
    std::string why = std::string("the new hive could not be written: ") + std::strerror(errno);
    ::unlinkat(folder.get(), tempName.c_str(), 0);
    refuseWrites(why);
    return false;
  }
  fsync(folder.get());
  return true;
}
