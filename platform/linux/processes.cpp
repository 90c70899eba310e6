// Processes on the Linux platform: the Windows on the disk is not running, so
// it has no processes to list, open or end. The memory stage finds none of
// its process libraries and moves on.
#include "platform/processes.h"

ModuleHandle loadLibrary(const char*) { return nullptr; }
void* getProcAddress(ModuleHandle, const char*) { return nullptr; }
Handle openProcess(uint32_t, uint32_t) { return nullptr; }
bool terminateProcess(Handle, uint32_t) { return false; }
void closeHandle(Handle) {}
