// The service manager of the simulated machine; states follow its clock.
#include <map>

#include "platform/services.h"
#include "tests/sim/sim_machine.h"

namespace {

struct ServiceObject {
  bool manager;
  std::string name;
};
std::map<ServiceHandle, ServiceObject*> g_handles;

ServiceHandle newHandle(ServiceObject* object) {
  g_handles[object] = object;
  ++simMachine().openServiceHandles;
  return object;
}

SimService* serviceOf(ServiceHandle handle) {
  auto found = g_handles.find(handle);
  if (found == g_handles.end() || found->second->manager) return nullptr;
  for (SimService& service : simMachine().services)
    if (asciiEqualNoCase(service.name.c_str(), found->second->name.c_str())) return &service;
  return nullptr;
}

uint32_t stateOf(const SimService& service) {
  if (!service.stopping) return 4;  // SERVICE_RUNNING
  return simMachine().clockMs >= service.stopAt ? service.finalState : kServiceStopPending;
}

}  // namespace

ServiceHandle openSCManager(uint32_t) {
  if (simMachine().serviceManagerFails) return nullptr;
  return newHandle(new ServiceObject{true, ""});
}

ServiceHandle openService(ServiceHandle manager, const char* name, uint32_t) {
  auto found = g_handles.find(manager);
  if (found == g_handles.end() || !found->second->manager) return nullptr;
  for (SimService& service : simMachine().services)
    if (asciiEqualNoCase(service.name.c_str(), name)) return newHandle(new ServiceObject{false, name});
  return nullptr;
}

bool controlService(ServiceHandle handle, uint32_t control, ServiceStatus* status) {
  SimService* service = serviceOf(handle);
  if (!service || control != kServiceControlStop || !service->acceptsStop) return false;
  if (!service->stopping) {
    service->stopping = true;
    service->stopAt = simMachine().clockMs + service->stopPendingMs;
  }
  *status = ServiceStatus{};
  status->currentState = stateOf(*service);
  return true;
}

bool queryServiceStatus(ServiceHandle handle, ServiceStatus* status) {
  SimService* service = serviceOf(handle);
  if (!service) return false;
  *status = ServiceStatus{};
  status->currentState = stateOf(*service);
  return true;
}

bool closeServiceHandle(ServiceHandle handle) {
  auto found = g_handles.find(handle);
  if (found == g_handles.end()) return false;
  delete found->second;
  g_handles.erase(found);
  --simMachine().openServiceHandles;
  return true;
}
