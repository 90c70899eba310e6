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

// Wine's service manager may still show the stop as pending for a while after
// the service reported it, longer than stopService's pauses take when they
// pass at once. Each pause therefore lasts until the service has signalled
// that it reported itself stopped (at most the pause's own length), never a
// fixed time.
HANDLE g_serviceStopped = nullptr;

TEST_F(ServiceStop, StopsARunningService) {
  ASSERT_NO_FATAL_FAILURE(startService());
  g_serviceStopped = CreateEventA(nullptr, TRUE, FALSE, "DrvtestServiceStopped");
  ASSERT_NE(g_serviceStopped, nullptr);
  setSleepHook([](uint32_t milliseconds) { WaitForSingleObject(g_serviceStopped, milliseconds); });
  EXPECT_EQ(stopService(kServiceName), 1);
  CloseHandle(g_serviceStopped);
  EXPECT_EQ(currentState(service_), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceStop, ServiceThatIsNotRunningCannotBeStopped) {
  EXPECT_EQ(stopService(kServiceName), 0);
}

TEST_F(ServiceStop, MissingServiceGivesZero) {
  EXPECT_EQ(stopService("drvtest-no-such-service"), 0);
}
