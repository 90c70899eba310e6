#include "memory/memory_stage.h"

#include "engine/session.h"

// Process listing is not wired in yet: the stage examines nothing and hands
// the scan to the drive walk.
void runMemoryScanStage() {
  g_session.memoryCheckMode = 1;
  g_session.memoryCheckMode = 0;
}
