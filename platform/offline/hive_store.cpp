#include "platform/offline/hive_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <hivex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/offline/hive_probe.h"
#include "platform/ascii.h"
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

}  // namespace

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

OfflineHive::~OfflineHive() { close(); }

std::string OfflineHive::hostPath(const std::string& name) const {
  std::string path = location_.driveRoot;
  for (const std::string& folder : location_.folders) path += "/" + folder;
  return path + "/" + name;
}

void OfflineHive::close() {
  if (hive_) hivex_close(hive_);
  hive_ = nullptr;
  writable_ = false;
}

hive_h* OfflineHive::open(bool writable) {
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
  return hivex_open(hostPath(location_.fileName).c_str(), writable ? HIVEX_OPEN_WRITE : 0);
}

hive_h* OfflineHive::forReading() {
  if (hive_ || unreadable_) return hive_;
  hive_ = open(false);
  if (!hive_) {
    unreadable_ = true;
    std::string line = location_.windowsPath + "     registry hive not used: " + reasonFor(errno) +
                       "; its entries are not cleaned";
    platformNotice(line.c_str());
  }
  return hive_;
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
  hive_ = open(true);
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
  std::string base = location_.fileName + kBackupSuffix + timestamp();
  std::string name = base;
  int fd = -1;
  for (int attempt = 2; fd < 0 && attempt < 100; ++attempt) {
    fd = ::openat(configFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  info.st_mode & 0777);
    if (fd < 0 && errno != EEXIST) return false;
    if (fd < 0) name = base + "-" + std::to_string(attempt);
  }
  Descriptor backup(fd);
  if (!backup.valid()) return false;
  bool copied = copyContent(original.get(), backup.get()) && fsync(backup.get()) == 0;
  if (!copied) {
    int error = errno;
    ::unlinkat(configFd, name.c_str(), 0);
    errno = error;
    return false;
  }
  fsync(configFd);
  backedUp_ = true;
  std::string line = location_.windowsPath + "     registry hive backed up as " +
                     windowsFolderOf(location_.windowsPath) + name;
  platformNotice(line.c_str());
  return true;
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
