// The Linux platform drenvalisk-scan ships, beyond its files: what a machine
// whose Windows is not running answers (another platform, no registry, no
// processes, no services, no restart), Ctrl+C as the pump's WM_QUIT, and the
// kernel's own refusals reaching the system as failed calls.
#include <fcntl.h>

#include <string>

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/linux/interrupt.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/system.h"
#include "tests/support/private_mounts.h"
#include "tests/support/scan_fixture.h"

class LinuxPlatformTest : public ScanFixture {
 protected:
  void TearDown() override {
    releasePrivateMounts();
    ScanFixture::TearDown();
  }
};

TEST_F(LinuxPlatformTest, WithoutAnInstallationItAnswersAsAnotherPlatform) {
  OsVersionInfo version = {1, 1, 1, 1};
  ASSERT_TRUE(getVersionEx(&version));
  EXPECT_EQ(version.platformId, 0u) << "neither 9x nor NT";
  EXPECT_FALSE(repairsOfflineSystem());

  RegKey key = nullptr;
  EXPECT_EQ(regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, "Software", kKeyRead, &key), kErrorFileNotFound);
  EXPECT_EQ(key, nullptr);
  uint32_t size = 64;
  uint8_t data[64];
  EXPECT_NE(regQueryValueEx(PLATFORM_HKEY_PERFORMANCE_DATA, "230", nullptr, data, &size),
            kErrorSuccess) << "no performance data, so no process list";
  char expanded[64];
  expandEnvironmentStrings("%PATH%\\x", expanded, sizeof expanded);
  EXPECT_STREQ(expanded, "%PATH%\\x") << "never the rescue system's own variables";

  EXPECT_EQ(loadLibrary("kernel32.dll"), nullptr);
  EXPECT_EQ(loadLibrary("psapi.dll"), nullptr);
  EXPECT_EQ(openProcess(kProcessTerminate, 4), nullptr);
  EXPECT_EQ(openSCManager(kScManagerAllAccess), nullptr);
  Handle token = nullptr;
  EXPECT_FALSE(openProcessToken(kTokenAdjustPrivileges | kTokenQuery, &token));
  EXPECT_EQ(exitWindowsEx(0), 0) << "the rescue system is never restarted";

  writeText("C:\\locked.exe", "x");
  EXPECT_FALSE(moveFileEx("C:\\locked.exe", nullptr, kMoveDelayUntilReboot))
      << "no Windows to delete it at its next start";
  EXPECT_TRUE(exists("C:\\locked.exe"));
  char folder[64];
  EXPECT_EQ(getWindowsDirectory(folder, sizeof folder), 10u);
  EXPECT_STREQ(folder, "C:\\WINDOWS");
}

TEST_F(LinuxPlatformTest, InterruptIsOneQuitMessage) {
  Message message = {};
  EXPECT_FALSE(peekMessage(&message)) << "no queue: nothing to dispatch";
  postQuitFromInterrupt();
  ASSERT_TRUE(peekMessage(&message));
  EXPECT_EQ(message.message, kMsgQuit);
  EXPECT_FALSE(peekMessage(&message)) << "taken once";
}

TEST_F(LinuxPlatformTest, ReadOnlyMountRefusesEveryChange) {
  writeText("C:\\d\\a.exe", "abc");
  writeText("C:\\d\\wininit.ini", "[rename]\n");
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(mountReadOnly(host("C:\\d")));

  EXPECT_FALSE(deleteFile("C:\\d\\a.exe"));
  EXPECT_FALSE(moveFile("C:\\d\\a.exe", "C:\\d\\a.exV"));
  EXPECT_FALSE(copyFile("C:\\d\\a.exe", "C:\\d\\b.exe", false));
  EXPECT_FALSE(setFileAttributes("C:\\d\\a.exe", 0));
  EXPECT_LT(fileOpen("C:\\d\\wininit.ini", kOpenCreateAppendBinary), 0);
  EXPECT_LT(fileOpen("C:\\d\\new.ini", kOpenTruncateBinary), 0);
  EXPECT_EQ(readText("C:\\d\\a.exe"), "abc");
  FileDescriptor read(fileOpen("C:\\d\\a.exe", kOpenReadBinary));
  EXPECT_TRUE(read.valid()) << "reading goes on";
}

TEST_F(LinuxPlatformTest, FullDiskCutsAWriteShort) {
  makeFolder("C:\\full");
  if (!enterPrivateMounts()) GTEST_SKIP() << "no private mounts here (needs root)";
  ASSERT_TRUE(fillFolderAfter(host("C:\\full"), 4096));
  FileDescriptor file(fileOpen("C:\\full\\wininit.ini", kOpenTruncateBinary));
  ASSERT_TRUE(file.valid());
  const std::string block(3000, 'x');
  int written = 0;
  for (int i = 0; i < 3; ++i) {
    const int wrote = fileWrite(file.get(), block.data(), static_cast<unsigned>(block.size()));
    if (wrote < 0) break;
    written += wrote;
  }
  EXPECT_EQ(written, 4096) << "what fits, then the write fails";
}
