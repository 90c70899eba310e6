#include "tests/support/private_mounts.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
std::vector<std::string> g_mounts;  // in the order they were made

size_t pagesOf(size_t bytes) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}
}  // namespace

bool enterPrivateMounts() {
  static int entered = -1;
  if (entered < 0)
    entered = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
              mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return entered == 1;
}

bool pinFile(const std::string& file) {
  if (!enterPrivateMounts() || mount(file.c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0)
    return false;
  g_mounts.push_back(file);
  return true;
}

bool mountReadOnly(const std::string& folder) {
  if (!enterPrivateMounts() || mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
    return false;
  g_mounts.push_back(folder);
  return mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool fillFolderAfter(const std::string& folderPath, size_t spareBytes) {
  if (!enterPrivateMounts()) return false;
  std::string folder = folderPath;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  // Keep the files aside, mount, and put them back on the new file system.
  const std::string aside = folder + ".aside";
  std::error_code error;
  fs::rename(folder, aside, error);
  if (error) return false;
  fs::create_directory(folder, error);
  size_t used = 0;
  for (const auto& entry : fs::directory_iterator(aside)) used += pagesOf(entry.file_size());
  const std::string options = "size=" + std::to_string(used + pagesOf(spareBytes));
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
  g_mounts.push_back(folder);
  fs::copy(aside, folder, fs::copy_options::recursive, error);
  fs::remove_all(aside);
  return !error;
}

void releasePrivateMounts() {
  for (auto mount = g_mounts.rbegin(); mount != g_mounts.rend(); ++mount)
    umount2(mount->c_str(), MNT_DETACH);
  g_mounts.clear();
}
