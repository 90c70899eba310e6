#include "platform/offline/offline_windows.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

#include "platform/ascii.h"
#include "platform/linux/drive_map.h"
#include "platform/offline/hive_probe.h"
#include "platform/offline/hive_text.h"

namespace {

constexpr uint32_t kRegSzType = 1;
constexpr uint32_t kRegExpandSzType = 2;
constexpr uint32_t kRegDwordType = 4;
constexpr const char* kNtCurrentVersion = "Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kCurrentVersion = "Microsoft\\Windows\\CurrentVersion";

std::string upperCased(std::string text) {
  for (char& c : text) c = asciiUpper(c);
  return text;
}

// A string value's text without its terminator (and anything after it).
std::string textOf(const std::vector<uint8_t>& data) {
  std::string text = utf16ToUtf8(data.data(), data.size());
  return text.substr(0, text.find('\0'));
}

bool isFile(int dirFd, const std::string& name) {
  struct stat info;
  return !name.empty() && fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode);
}

// The folders from the drive root to config, as spelt on disk, when `top`
// ("Windows" or "WINNT", any case) holds System32\config with both hives.
bool findConfig(const std::string& root, const char* top, std::vector<std::string>* folders,
                std::string* software, std::string* system) {
  folders->clear();
  int fd = openFolderChain(root, {});
  for (const char* wanted : {top, "System32", "config"}) {
    if (fd < 0) return false;
    std::string name = findEntry(fd, wanted);
    int next = name.empty() ? -1 : ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(fd);
    fd = next;
    folders->push_back(name);
  }
  if (fd < 0) return false;
  *software = findEntry(fd, "SOFTWARE");
  *system = findEntry(fd, "SYSTEM");
  bool found = isFile(fd, *software) && isFile(fd, *system);
  ::close(fd);
  return found;
}

std::string windowsPathOf(const std::vector<std::string>& folders, size_t count) {
  std::string path = "C:";
  for (size_t i = 0; i < count; ++i) path += "\\" + folders[i];
  return path;
}

}  // namespace

OfflineWindows::OfflineWindows(const std::string& driveRoot) : driveRoot_(driveRoot) {
  std::vector<std::string> folders;
  std::string software, system;
  if (!findConfig(driveRoot, "Windows", &folders, &software, &system) &&
      !findConfig(driveRoot, "WINNT", &folders, &software, &system))
    return;
  windowsFolder_ = windowsPathOf(folders, 1);
  systemFolder_ = windowsPathOf(folders, 2);
  const std::string config = windowsPathOf(folders, 3);
  software_ = std::make_unique<OfflineHive>(
      HiveLocation{driveRoot, folders, software, config + "\\" + software});
  system_ = std::make_unique<OfflineHive>(
      HiveLocation{driveRoot, folders, system, config + "\\" + system});
  configFd_ = openFolderChain(driveRoot, folders);
  readVersion();
}

OfflineWindows::~OfflineWindows() {
  if (configFd_ >= 0) ::close(configFd_);
}

// The text of a string value of the SOFTWARE hive, read without loading it;
// empty when missing.
std::string OfflineWindows::softwareText(const char* keyPath, const char* valueName) {
  if (configFd_ < 0) return std::string();
  int fd = ::openat(configFd_, software_->location().fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::string();
  uint32_t type = 0;
  std::vector<uint8_t> data;
  bool read = HiveProbe(fd).readValue(keyPath, valueName, &type, &data);
  ::close(fd);
  if (!read || (type != kRegSzType && type != kRegExpandSzType)) return std::string();
  return textOf(data);
}

void OfflineWindows::readVersion() {
  version_.platformId = 2;  // hives under System32\config: the NT family
  int fd = configFd_ < 0 ? -1
                         : ::openat(configFd_, software_->location().fileName.c_str(),
                                    O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  HiveProbe probe(fd);
  uint32_t type = 0;
  std::vector<uint8_t> data;
  auto dword = [&](const char* name, uint32_t* out) {
    if (!probe.readValue(kNtCurrentVersion, name, &type, &data) || type != kRegDwordType ||
        data.size() != 4)
      return false;
    *out = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
    return true;
  };
  auto text = [&](const char* name) {
    if (!probe.readValue(kNtCurrentVersion, name, &type, &data) || type != kRegSzType)
      return std::string();
    return textOf(data);
  };
  // Windows 10 and later keep "6.3" in CurrentVersion for old programs and
  // the real numbers in two DWORD values.
  if (!dword("CurrentMajorVersionNumber", &version_.majorVersion) ||
      !dword("CurrentMinorVersionNumber", &version_.minorVersion)) {
    std::string number = text("CurrentVersion");
    version_.majorVersion = static_cast<uint32_t>(std::strtoul(number.c_str(), nullptr, 10));
    size_t dot = number.find('.');
    version_.minorVersion =
        dot == std::string::npos ? 0 : static_cast<uint32_t>(std::strtoul(number.c_str() + dot + 1, nullptr, 10));
  }
  version_.buildNumber = static_cast<uint32_t>(std::strtoul(text("CurrentBuildNumber").c_str(), nullptr, 10));
  ::close(fd);
}

char OfflineWindows::ownDriveLetter() {
  if (!ownDrive_) {
    std::string root = softwareText(kNtCurrentVersion, "SystemRoot");
    ownDrive_ = root.size() >= 2 && root[1] == ':' && std::isalpha(static_cast<unsigned char>(root[0]))
                    ? asciiUpper(root[0])
                    : 'C';
  }
  return ownDrive_;
}

// A folder the installation names with its own drive letter, named on C:.
std::string OfflineWindows::onDriveC(const std::string& path) const {
  if (path.size() >= 2 && path[1] == ':') return "C" + path.substr(1);
  return path;
}

bool OfflineWindows::environmentValue(const std::string& name, std::string* value) {
  if (!environmentRead_) {
    environmentRead_ = true;
    auto folder = [&](const char* valueName, const std::string& fallback) {
      std::string path = softwareText(kCurrentVersion, valueName);
      return path.empty() ? fallback : onDriveC(path);
    };
    environment_["SYSTEMROOT"] = environment_["WINDIR"] = windowsFolder_;
    environment_["SYSTEMDRIVE"] = "C:";
    environment_["TEMP"] = environment_["TMP"] = windowsFolder_ + "\\TEMP";
    environment_["PROGRAMFILES"] = folder("ProgramFilesDir", "C:\\Program Files");
    environment_["COMMONPROGRAMFILES"] =
        folder("CommonFilesDir", environment_["PROGRAMFILES"] + "\\Common Files");
    std::string x86 = folder("ProgramFilesDir (x86)", "");
    if (!x86.empty()) environment_["PROGRAMFILES(X86)"] = x86;
    std::string commonX86 = folder("CommonFilesDir (x86)", "");
    if (!commonX86.empty()) environment_["COMMONPROGRAMFILES(X86)"] = commonX86;
    std::string data = softwareText("Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "ProgramData");
    if (!data.empty()) {
      // Stored as "%SystemDrive%\ProgramData".
      const std::string drive = "%SystemDrive%";
      if (upperCased(data.substr(0, drive.size())) == upperCased(drive))
        data = "C:" + data.substr(drive.size());
      environment_["PROGRAMDATA"] = environment_["ALLUSERSPROFILE"] = onDriveC(data);
    }
  }
  auto found = environment_.find(upperCased(name));
  if (found == environment_.end()) return false;
  *value = found->second;
  return true;
}

OfflineWindows* offlineWindows() {
  static std::unique_ptr<OfflineWindows> found;
  static uint64_t foundForMapping = 0;
  const uint64_t mapping = hostDriveMapGeneration();
  if (found && foundForMapping != mapping) found.reset();  // C: mapped anew
  const std::string* root = hostDriveRoot('C');
  if (!root) return nullptr;
  if (!found) {
    found = std::make_unique<OfflineWindows>(*root);
    foundForMapping = mapping;
  }
  return found->present() ? found.get() : nullptr;
}
