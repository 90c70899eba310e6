// drenvalisk-floor-walk DIR: the least a scan of DIR must do, and nothing
// more. Each folder is opened relative to its parent (openat), listed with
// getdents64 and each entry stat'ed relative to it (fstatat); nothing is
// printed per entry. The corpus benchmark measures the scanner against it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

unsigned long long g_files = 0;
unsigned long long g_bytes = 0;

void walk(int dirFd) {
  char buffer[32768];
  for (;;) {
    const ssize_t got = getdents64(dirFd, buffer, sizeof buffer);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
      struct stat info;
      if (fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISDIR(info.st_mode)) {
        const int child = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0) walk(child);
      } else {
        ++g_files;
        g_bytes += static_cast<unsigned long long>(info.st_size);
      }
    }
  }
  close(dirFd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: drenvalisk-floor-walk DIR\n", stderr);
    return 2;
  }
  const int root = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    std::perror(argv[1]);
    return 2;
  }
  walk(root);
  std::fprintf(stderr, "%llu files, %llu bytes\n", g_files, g_bytes);
  return 0;
}
