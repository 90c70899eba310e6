// A process that only waits: tests start it and let the tool find and end it.
// It ends by itself after the milliseconds given as its argument (default two
// minutes), so a forgotten sleeper never outlives a test run for long.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  DWORD milliseconds = 120000;
  if (argc > 1) milliseconds = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  Sleep(milliseconds);
  return 0;
}
