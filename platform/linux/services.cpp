// Services on the Linux platform: none run, so there is no service manager to
// open; the service keys of an offline installation are cleaned in its hives.
#include "platform/services.h"

ServiceHandle openSCManager(uint32_t) { return nullptr; }
ServiceHandle openService(ServiceHandle, const char*, uint32_t) { return nullptr; }
bool controlService(ServiceHandle, uint32_t, ServiceStatus*) { return false; }
bool queryServiceStatus(ServiceHandle, ServiceStatus*) { return false; }
bool closeServiceHandle(ServiceHandle) { return false; }
