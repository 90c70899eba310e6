// A service that does nothing: it reports itself running, signals the named
// event "DrvtestServiceRunning" when the test created one, and stops at the
// first stop request. The service tests register and start it.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
HANDLE g_stopped = nullptr;

void report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(g_statusHandle, &status);
}

DWORD WINAPI handler(DWORD control, DWORD, void*, void*) {
  if (control != SERVICE_CONTROL_STOP) return NO_ERROR;
  // Stopped at once: the stop request finds no stop-pending state to wait on.
  report(SERVICE_STOPPED);
  SetEvent(g_stopped);
  return NO_ERROR;
}

void WINAPI serviceMain(DWORD, char** argv) {
  g_statusHandle = RegisterServiceCtrlHandlerExA(argv[0], handler, nullptr);
  if (!g_statusHandle) return;
  report(SERVICE_RUNNING);
  if (HANDLE running = OpenEventA(EVENT_MODIFY_STATE, FALSE, "DrvtestServiceRunning")) {
    SetEvent(running);
    CloseHandle(running);
  }
  // Never outlives a forgotten test for long.
  WaitForSingleObject(g_stopped, 120000);
}

}  // namespace

int main() {
  g_stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  static char name[] = "drvtestsvc";
  SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
