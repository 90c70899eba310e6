// Must not compile for the pinned Windows: GetTickCount64 came with Vista.
#include <windows.h>
unsigned long long probe() { return GetTickCount64(); }
