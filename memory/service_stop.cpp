#include "memory/service_stop.h"

#include "platform/services.h"
#include "platform/system.h"

namespace {
// Closes a service or manager handle on every way out.
class ScopedService {
 public:
  explicit ScopedService(ServiceHandle handle) : handle_(handle) {}
  ~ScopedService() {
    if (handle_) closeServiceHandle(handle_);
  }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;
  ServiceHandle get() const { return handle_; }

 private:
  ServiceHandle handle_;
};
}  // namespace

int stopService(const char* serviceName) {
  ScopedService manager(openSCManager(kScManagerAllAccess));
  if (!manager.get()) return 0;
  // Full access on the service includes the stop and status-query rights.
  ScopedService service(openService(manager.get(), serviceName, kScManagerAllAccess));
  if (!service.get()) return 0;
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
