// A process that only waits: tests start it and let the tool find and end it.
// It ends by itself after the milliseconds given as its first argument
// (default two minutes), so a forgotten sleeper never outlives a test run for
// long. A second argument names an event the test created: the sleeper sets
// it once its own code runs, so the test knows the program really started.
#include <windows.h>

#include <cstdlib>

// A large initialized region of its own section, never read or executed:
// tests turn copies of this program into files that carry a signature's
// patterns (samples/runnable_sample.h) and still run.
__attribute__((section(".pad"), used)) volatile unsigned char g_pad[192 * 1024] = {1};

int main(int argc, char** argv) {
  DWORD milliseconds = 120000;
  if (argc > 1) milliseconds = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  if (argc > 2) {
    if (HANDLE started = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2])) {
      SetEvent(started);
      CloseHandle(started);
    }
  }
  Sleep(milliseconds);
  return 0;
}
