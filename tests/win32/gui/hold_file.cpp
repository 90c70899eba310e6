// hold-file PATH [MS]: keeps PATH open for reading without sharing the right
// to delete it, for MS milliseconds (default one minute) or until killed, so
// that a scan cannot remove the file and must schedule it for the next start.
// Prints "held" once the file is open; exits 1 when it cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: hold-file PATH [MS]\n", stderr);
    return 2;
  }
  DWORD milliseconds = argc > 2 ? DWORD(std::strtoul(argv[2], nullptr, 10)) : 60000;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold-file: cannot open %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  Sleep(milliseconds);
  CloseHandle(file);
  return 0;
}
