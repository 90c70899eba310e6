#include "memory/service_stop.h"

#include "platform/services.h"
#include "platform/system.h"

int stopService(const char* serviceName) {
  // Both handles are closed on every way out, the service's before the manager's.
  ScopedServiceHandle manager(openSCManager(kScManagerAllAccess));
  if (!manager.valid()) return 0;
  // Full access on the service includes the stop and status-query rights.
  ScopedServiceHandle service(openService(manager.get(), serviceName, kScManagerAllAccess));
  if (!service.valid()) return 0;
  ServiceStatus status = {};
  if (!controlService(service.get(), kServiceControlStop, &status)) return 0;
  // A service that never leaves stop-pending must not hold the scan forever.
  ServiceStatus queried = {};
  for (int waits = 0; queryServiceStatus(service.get(), &queried); ++waits) {
    status = queried;
    if (status.currentState != kServiceStopPending) break;
    if (waits == kMaxStopWaits) return 0;
    sleepMs(1000);
  }
  return status.currentState == kServiceStopped ? 1 : 0;
}
