// The one handle owner: every kind the system opens is closed when its owner
// goes out of scope, when the owner receives another handle, and when it is
// closed early, where the registry's close result is what the caller sees.
#include "platform/scoped_handle.h"

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/system.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

int openHandles() {
  const SimMachine& sim = simMachine();
  return sim.openKernelHandles + sim.openKeys + sim.openFiles + sim.openServiceHandles +
         sim.openSearches;
}

}  // namespace

class ScopedHandleTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    writeText("C:\\data\\a.txt", "a");
    simMachine().registry["SOFTWARE\\X"];
    simRunProcess(7, "C:\\data\\a.txt");
  }
};

TEST_F(ScopedHandleTest, EveryKindIsClosedWhenItsOwnerEnds) {
  {
    ScopedKernelHandle process(openProcess(kProcessQueryAndRead, 7));
    ScopedKernelHandle token;
    ASSERT_TRUE(openProcessToken(kTokenQuery, token.receive()));
    ScopedRegKey key;
    ASSERT_EQ(regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, "Software\\X", kKeyRead, key.receive()),
              kErrorSuccess);
    FileDescriptor file(fileOpen("C:\\data\\a.txt", kOpenReadBinary));
    ScopedServiceHandle manager(openSCManager(kScManagerAllAccess));
    FindData data;
    ScopedFindHandle search(findFirstFile("C:\\data\\*.*", &data));
    for (bool open : {process.valid(), token.valid(), key.valid(), file.valid(), manager.valid(),
                      search.valid()})
      EXPECT_TRUE(open);
    EXPECT_EQ(simMachine().openTokens, 1);
    EXPECT_EQ(openHandles(), 6);
  }
  EXPECT_EQ(simMachine().openTokens, 0);
  EXPECT_EQ(openHandles(), 0);

  // Failed opens hold nothing, and nothing is closed for them.
  ScopedKernelHandle missing(openProcess(kProcessQueryAndRead, 99));
  FileDescriptor noFile(fileOpen("C:\\data\\none.txt", kOpenReadBinary));
  FindData data;
  ScopedFindHandle noSearch(findFirstFile("C:\\none\\*.*", &data));
  EXPECT_FALSE(missing.valid() || noFile.valid() || noSearch.valid());
  EXPECT_EQ(noFile.close(), 0);
}

TEST_F(ScopedHandleTest, ReceivingOrResettingClosesWhatWasHeld) {
  ScopedRegKey key;
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, "Software\\X", kKeyRead, key.receive()),
              kErrorSuccess);
  EXPECT_EQ(simMachine().openKeys, 1);

  ScopedKernelHandle process(openProcess(kProcessQueryAndRead, 7));
  process.reset(openProcess(kProcessQueryAndRead, 7));
  EXPECT_EQ(simMachine().openKernelHandles, 1);
  process.reset();
  EXPECT_FALSE(process.valid());
  EXPECT_EQ(simMachine().openKernelHandles, 0);
}

TEST_F(ScopedHandleTest, EarlyCloseReportsTheRegistrysResultOnce) {
  ScopedRegKey key;
  ASSERT_EQ(regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, "Software\\X", kKeyRead, key.receive()),
            kErrorSuccess);
  simMachine().failKeyClose = true;
  EXPECT_EQ(key.close(), kErrorAccessDenied);
  EXPECT_FALSE(key.valid());
  EXPECT_EQ(key.close(), kErrorSuccess) << "nothing is left to close";
  EXPECT_EQ(simMachine().openKeys, 0);
}

// A handle given up by release() is the caller's: the owner neither closes
// it at its end nor holds it any longer.
TEST_F(ScopedHandleTest, ReleasedHandlesAreLeftOpenForTheCaller) {
  Handle released = nullptr;
  {
    ScopedKernelHandle process(openProcess(kProcessQueryAndRead, 7));
    ASSERT_TRUE(process.valid());
    released = process.release();
    EXPECT_FALSE(process.valid());
  }
  EXPECT_EQ(simMachine().openKernelHandles, 1);
  ScopedKernelHandle again(released);
  again.close();
  EXPECT_EQ(openHandles(), 0);
}
