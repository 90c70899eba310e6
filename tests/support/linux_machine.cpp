// A fresh Linux platform for its tests: no drive mapped.
#include "platform/linux/drive_map.h"
#include "tests/support/test_machine.h"

void resetTestMachine() { hostUnmapDrives(); }
