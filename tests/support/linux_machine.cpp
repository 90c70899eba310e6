// A fresh Linux platform for its tests: no drive mapped, and pauses that
// pass at once instead of sleeping.
#include "platform/linux/drive_map.h"
#include "platform/system.h"
#include "tests/support/test_machine.h"

void resetTestMachine() {
  hostUnmapDrives();
  setSleepHook([](uint32_t) {});
}
