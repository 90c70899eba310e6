#include "platform/linux/folder_handles.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/linux/drive_map.h"

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

struct KeptFolder {
  std::string name;  // the component as it was asked for; empty for the drive root
  HostFolder folder;
};

// The open folders from a drive's root down to the last folder asked for.
// Each is opened relative to the one above it without following a link.
struct FolderChain {
  char drive = 0;
  std::vector<KeptFolder> levels;
};
FolderChain g_chain;
// The last folder asked for, without trailing separators, and what it gave:
// a walk asks for the same folder several times in a row.
std::string g_lastAsked;
HostFolder* g_lastGiven = nullptr;

void closeFolder(HostFolder& folder) {
  if (folder.fd >= 0) close(folder.fd);
  folder = HostFolder();
}

void truncateChain(size_t levels) {
  while (g_chain.levels.size() > levels) {
    closeFolder(g_chain.levels.back().folder);
    g_chain.levels.pop_back();
  }
}

// The components of a Windows path below its drive, with "." dropped and ".."
// taking away the component before it, never more than there are.
void splitComponents(const char* path, size_t length, std::vector<std::string_view>& parts) {
  parts.clear();
  size_t at = 2;
  while (at < length) {
    while (at < length && (path[at] == '\\' || path[at] == '/')) ++at;
    size_t end = at;
    while (end < length && path[end] != '\\' && path[end] != '/') ++end;
    if (end == at) break;
    const std::string_view part(path + at, end - at);
    at = end;
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
}

enum class Step { kOpened, kMissing, kLink, kFailed };

// Opens the folder `name` of `parentFd` without following a link.
Step openChild(int parentFd, const char* name, int* fd) {
  *fd = openat(parentFd, name, kFolderFlags | O_NOFOLLOW);
  if (*fd >= 0) return Step::kOpened;
  if (errno == ENOENT) return Step::kMissing;
  struct stat info;
  if ((errno == ENOTDIR || errno == ELOOP) &&
      fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
    return Step::kLink;
  return Step::kFailed;
}

// Opens the folder from the kept handles that lead to it, or from the drive's
// root when `fresh` or when the kept ones lead elsewhere.
HostFolder* resolveAfresh(const char* windowsPath, size_t length, bool fresh) {
  const char letter = asciiUpper(windowsPath[0]);
  const std::string* driveRoot = hostDriveRoot(letter);
  if (!driveRoot) return nullptr;
  static std::vector<std::string_view> parts;
  splitComponents(windowsPath, length, parts);

  if (fresh || g_chain.drive != letter) closeHostFolders();
  const bool reused = !g_chain.levels.empty();
  if (!reused) {
    const int fd = open(driveRoot->c_str(), kFolderFlags);
    if (fd < 0) return nullptr;
    g_chain.drive = letter;
    g_chain.levels.push_back({std::string(), HostFolder{fd, true, true}});
  }
  size_t kept = 0;  // components already open, below the root
  while (kept < parts.size() && kept + 1 < g_chain.levels.size() &&
         g_chain.levels[kept + 1].name == parts[kept])
    ++kept;
  truncateChain(kept + 1);

  for (size_t i = kept; i < parts.size(); ++i) {
    std::string name(parts[i]);
    const int parentFd = g_chain.levels.back().folder.fd;
    int fd = -1;
    Step step = openChild(parentFd, name.c_str(), &fd);
    if (step == Step::kMissing) {
      // A kept folder may have been removed since: look again from the root
      // before taking the folder for missing.
      if (reused) return resolveAfresh(windowsPath, length, true);
      const std::string stored = storedEntryName(parentFd, name.c_str());
      if (stored.empty() || stored == name) return nullptr;
      step = openChild(parentFd, stored.c_str(), &fd);
    }
    // A link is never gone through: the folder behind it is not reachable.
    if (step != Step::kOpened) return nullptr;
    g_chain.levels.push_back({std::move(name), HostFolder{fd, false, true}});
  }
  return &g_chain.levels.back().folder;
}

HostFolder* remember(const char* windowsPath, size_t length, HostFolder* folder) {
  if (folder) {
    g_lastAsked.assign(windowsPath, length);
    g_lastGiven = folder;
  } else {
    g_lastGiven = nullptr;
  }
  return folder;
}

// The folder asked for, without looking again when it is the last one asked for.
HostFolder* resolve(const char* windowsPath, size_t length, bool fresh) {
  if (length < 2 || windowsPath[1] != ':') return nullptr;
  while (length > 2 && (windowsPath[length - 1] == '\\' || windowsPath[length - 1] == '/'))
    --length;
  if (!fresh && g_lastGiven && g_lastAsked.size() == length &&
      std::memcmp(g_lastAsked.data(), windowsPath, length) == 0)
    return g_lastGiven;
  return remember(windowsPath, length, resolveAfresh(windowsPath, length, fresh));
}

}  // namespace

HostFolder* openHostFolder(const char* windowsPath, size_t length) {
  return resolve(windowsPath, length, false);
}

HostFolder* reopenHostFolder(const char* windowsPath, size_t length) {
  return resolve(windowsPath, length, true);
}

void closeHostFolders() {
  g_lastGiven = nullptr;
  truncateChain(0);
  g_chain.drive = 0;
}

std::string storedEntryName(int folderFd, const char* name) {
  struct stat info;
  if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0) return name;
  // A descriptor of its own, so the folder's own read position is left alone.
  DIR* dir = fdopendir(openat(folderFd, ".", kFolderFlags));
  if (!dir) return std::string();
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (asciiEqualNoCase(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

HostEntry::~HostEntry() {
  if (folderFd >= 0) close(folderFd);
}

bool reachHostEntry(const char* windowsPath, HostEntry* entry) {
  if (!windowsPath || windowsPath[0] == 0 || windowsPath[1] != ':') return false;
  size_t length = std::strlen(windowsPath);
  while (length > 2 && (windowsPath[length - 1] == '\\' || windowsPath[length - 1] == '/'))
    --length;
  // The last component, as the folder above resolves it ("." and ".." lexically).
  static std::vector<std::string_view> parts;
  splitComponents(windowsPath, length, parts);
  if (parts.empty()) return false;  // the drive's root itself
  std::string folderPath(windowsPath, 2);
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    folderPath += '\\';
    folderPath.append(parts[i].data(), parts[i].size());
  }
  const std::string name(parts.back());
  HostFolder* folder = openHostFolder(folderPath.data(), folderPath.size());
  if (!folder) return false;
  const int fd = fcntl(folder->fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  if (entry->folderFd >= 0) close(entry->folderFd);
  entry->folderFd = fd;
  const std::string stored = storedEntryName(fd, name.c_str());
  entry->name = stored.empty() ? name : stored;
  return true;
}
