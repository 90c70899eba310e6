// Stopping a real service of the prefix: the test registers the do-nothing
// service C:\drvbin\drvtest-service.exe, starts it and lets stopService end it.
#include <windows.h>

#include "memory/service_stop.h"
#include "platform/system.h"
#include "tests/win32/support/wine_fixture.h"

namespace {

constexpr const char* kServiceName = "drvtestsvc";
constexpr const char* kServiceImage = "C:\\drvbin\\drvtest-service.exe";

DWORD currentState(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

}  // namespace

class ServiceStop : public WineScanFixture {
 protected:
  void SetUp() override {
    WineScanFixture::SetUp();
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << GetLastError();
    removeService();
    service_ = CreateServiceA(manager_, kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                              SERVICE_ERROR_IGNORE, kServiceImage, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(service_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (service_) {
      SERVICE_STATUS status;
      if (currentState(service_) == SERVICE_RUNNING)
        ControlService(service_, SERVICE_CONTROL_STOP, &status);
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    if (manager_) CloseServiceHandle(manager_);
    WineScanFixture::TearDown();
  }
  void removeService() {
    if (SC_HANDLE old = OpenServiceA(manager_, kServiceName, SERVICE_ALL_ACCESS)) {
      SERVICE_STATUS status;
      ControlService(old, SERVICE_CONTROL_STOP, &status);
      DeleteService(old);
      CloseServiceHandle(old);
    }
  }
  // Starts the service and waits (on its event, never on a clock) until it
  // reports itself running.
  void startService() {
    HANDLE running = CreateEventA(nullptr, TRUE, FALSE, "DrvtestServiceRunning");
    ASSERT_NE(running, nullptr);
    ASSERT_TRUE(StartServiceA(service_, 0, nullptr)) << GetLastError();
    DWORD waited = WaitForSingleObject(running, 20000);
    CloseHandle(running);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the service never signalled";
    ASSERT_EQ(currentState(service_), static_cast<DWORD>(SERVICE_RUNNING));
  }

  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

// Wine's service manager shows a stop as pending until the service's process
// has ended, which may be after stopService's pauses have all passed when
// they pass at once. Each pause therefore lasts until that process has ended
// (at most the pause's own length), never a fixed time.
namespace {

HANDLE g_serviceProcess = nullptr;

// The process of a running service: its id from QueryServiceStatusEx, which
// Windows 2000 introduced and the headers of our target hide, so it is
// loaded by name.
HANDLE openServiceProcess(SC_HANDLE service) {
  struct StatusProcess {
    DWORD serviceType, currentState, controlsAccepted, win32ExitCode, serviceSpecificExitCode,
        checkPoint, waitHint, processId, serviceFlags;
  } status = {};
  using QueryEx = BOOL(WINAPI*)(SC_HANDLE, int, BYTE*, DWORD, DWORD*);
  auto query = reinterpret_cast<QueryEx>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("advapi32.dll"), "QueryServiceStatusEx")));
  DWORD needed = 0;
  if (!query || !query(service, 0, reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
    return nullptr;
  return OpenProcess(SYNCHRONIZE, FALSE, status.processId);
}

}  // namespace

TEST_F(ServiceStop, StopsARunningService) {
  ASSERT_NO_FATAL_FAILURE(startService());
  g_serviceProcess = openServiceProcess(service_);
  ASSERT_NE(g_serviceProcess, nullptr) << GetLastError();
  setSleepHook([](uint32_t milliseconds) { WaitForSingleObject(g_serviceProcess, milliseconds); });
  EXPECT_EQ(stopService(kServiceName), 1);
  CloseHandle(g_serviceProcess);
  EXPECT_EQ(currentState(service_), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceStop, ServiceThatIsNotRunningCannotBeStopped) {
  EXPECT_EQ(stopService(kServiceName), 0);
}

TEST_F(ServiceStop, MissingServiceGivesZero) {
  EXPECT_EQ(stopService("drvtest-no-such-service"), 0);
}
