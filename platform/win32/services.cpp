// The service control manager on Win32.
#include <windows.h>

#include "platform/services.h"

namespace {
void copyStatus(const SERVICE_STATUS& from, ServiceStatus* to) {
  to->serviceType = from.dwServiceType;
  to->currentState = from.dwCurrentState;
  to->controlsAccepted = from.dwControlsAccepted;
  to->win32ExitCode = from.dwWin32ExitCode;
  to->serviceSpecificExitCode = from.dwServiceSpecificExitCode;
  to->checkPoint = from.dwCheckPoint;
  to->waitHint = from.dwWaitHint;
}
}  // namespace

ServiceHandle openSCManager(uint32_t access) {
  return OpenSCManagerA(nullptr, SERVICES_ACTIVE_DATABASEA, access);
}
ServiceHandle openService(ServiceHandle manager, const char* name, uint32_t access) {
  return OpenServiceA(static_cast<SC_HANDLE>(manager), name, access);
}
bool controlService(ServiceHandle service, uint32_t control, ServiceStatus* status) {
  SERVICE_STATUS raw = {};
  bool ok = ControlService(static_cast<SC_HANDLE>(service), control, &raw) != 0;
  copyStatus(raw, status);
  return ok;
}
bool queryServiceStatus(ServiceHandle service, ServiceStatus* status) {
  SERVICE_STATUS raw = {};
  bool ok = QueryServiceStatus(static_cast<SC_HANDLE>(service), &raw) != 0;
  copyStatus(raw, status);
  return ok;
}
bool closeServiceHandle(ServiceHandle handle) {
  return CloseServiceHandle(static_cast<SC_HANDLE>(handle)) != 0;
}
