// drenvalisk-floor-walk DIR: the least a scan of DIR must do. Lists every
// entry with its size (opendir/readdir/fstatat) and nothing more; the corpus
// benchmark measures the scanner against it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

unsigned long long g_files = 0;
unsigned long long g_bytes = 0;

void walk(int dirFd, std::string& path) {
  DIR* dir = fdopendir(dirFd);
  if (!dir) {
    close(dirFd);
    return;
  }
  while (dirent* entry = readdir(dir)) {
    if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
    struct stat info;
    if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    size_t length = path.size();
    path += '/';
    path += entry->d_name;
    std::printf("%lld %s\n", static_cast<long long>(info.st_size), path.c_str());
    if (S_ISDIR(info.st_mode)) {
      int child = openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (child >= 0) walk(child, path);
    } else {
      ++g_files;
      g_bytes += static_cast<unsigned long long>(info.st_size);
    }
    path.resize(length);
  }
  closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: drenvalisk-floor-walk DIR\n", stderr);
    return 2;
  }
  int root = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    std::perror(argv[1]);
    return 2;
  }
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  std::string path = argv[1];
  walk(root, path);
  std::fflush(stdout);
  std::fprintf(stderr, "%llu files, %llu bytes\n", g_files, g_bytes);
  return 0;
}
