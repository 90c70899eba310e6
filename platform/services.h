// The service control manager.
#pragma once
#include "platform/scoped_handle.h"
#include "platform/types.h"

constexpr uint32_t kScManagerAllAccess = 0xF003F;
constexpr uint32_t kServiceControlStop = 1;
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStopPending = 3;

struct ServiceStatus {
  uint32_t serviceType;
  uint32_t currentState;
  uint32_t controlsAccepted;
  uint32_t win32ExitCode;
  uint32_t serviceSpecificExitCode;
  uint32_t checkPoint;
  uint32_t waitHint;
};

// OpenSCManagerA on the local machine's active database; null on failure.
ServiceHandle openSCManager(uint32_t access);
ServiceHandle openService(ServiceHandle manager, const char* name, uint32_t access);
bool controlService(ServiceHandle service, uint32_t control, ServiceStatus* status);
bool queryServiceStatus(ServiceHandle service, ServiceStatus* status);
bool closeServiceHandle(ServiceHandle handle);

// A service manager or service handle.
struct ServiceHandleTraits {
  using Value = ServiceHandle;
  static Value empty() { return nullptr; }
  static bool isOpen(Value handle) { return handle != nullptr; }
  static long close(Value handle) { return closeServiceHandle(handle) ? 0 : 1; }
};
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;
