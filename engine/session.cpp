#include "engine/session.h"

#include <cstring>

ScanSession g_session = [] {
  ScanSession session;
  std::memset(&session, 0, sizeof session);
  session.memoryCheckMode = 1;
  return session;
}();

void resetScanSession() {
  std::memset(&g_session, 0, sizeof g_session);
  g_session.memoryCheckMode = 1;
}

void copyText(char* destination, const char* source, int capacity) {
  if (capacity <= 0) return;
  int length = 0;
  while (length < capacity - 1 && source[length]) ++length;
  std::memmove(destination, source, static_cast<size_t>(length));
  destination[length] = 0;
}
