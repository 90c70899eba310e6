// UTF-16 to the ANSI code page, as WideCharToMultiByte does for the process
// names the system reads: ASCII kept, anything else as '?'.
#include "platform/processes.h"

int wideToAnsi(const uint16_t* text, int length, char* out, int capacity) {
  int written = 0;
  for (int i = 0; i < length && text[i]; ++i) {
    if (written + 1 >= capacity) return 0;  // ERROR_INSUFFICIENT_BUFFER
    out[written++] = text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  }
  if (written >= capacity) return 0;
  out[written] = 0;
  return written + 1;
}
