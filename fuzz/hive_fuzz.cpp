// Fuzzes the reading of an offline installation's registry hives: arbitrary
// bytes as its SOFTWARE and SYSTEM files, read the way a scan reads them (the
// version and environment through the bounded probe, the start-up keys and
// their values through libhivex behind the registry calls, after the checks
// of header against data that keep a damaged hive out of use). Every read
// must stay inside its buffers, sizes must agree with the data returned, and
// every key opened must be closed.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/offline/hive_probe.h"
#include "platform/offline/hive_registry.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace {

void readKey(const char* path) {
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, path, kKeyRead, key.receive()) != kErrorSuccess)
    return;
  uint32_t count = 0;
  if (regQueryValueCount(key.get(), &count) != kErrorSuccess) return;
  for (uint32_t i = 0; i < count && i < 64; ++i) {
    char name[256];
    uint32_t nameLength = sizeof name - 1;
    if (regEnumValueName(key.get(), i, name, &nameLength) != kErrorSuccess) continue;
    if (nameLength >= sizeof name || std::strlen(name) != nameLength) fuzz::fail("value name length");
    uint32_t size = 0, type = 0;
    if (regQueryValueEx(key.get(), name, &type, nullptr, &size) != kErrorSuccess) continue;
    if (size > (1u << 20)) continue;
    std::vector<uint8_t> data(size);  // exact size: a read past it is caught
    uint32_t read = size;
    if (regQueryValueEx(key.get(), name, nullptr, data.data(), &read) == kErrorSuccess &&
        read != size)
      fuzz::fail("value size changed between two reads");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::setUpMachine();
  const std::string config = fuzz::driveRoot() + "/Windows/System32/config";
  static bool made = false;
  if (!made) {
    for (const char* folder : {"/Windows", "/Windows/System32", "/Windows/System32/config"})
      mkdir((fuzz::driveRoot() + folder).c_str(), 0755);
    made = true;
  }
  fuzz::writeHost(config + "/SOFTWARE", data, size);
  fuzz::writeHost(config + "/SYSTEM", data, size);

  OsVersionInfo version = {};
  if (!getVersionEx(&version) || version.platformId != 2) fuzz::fail("an installation is NT");
  char expanded[261];
  expandEnvironmentStrings("%ProgramFiles%\\a;%CommonProgramFiles(x86)%;%ProgramData%", expanded,
                           sizeof expanded);
  readKey("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  readKey("Software\\Microsoft\\Windows\\CurrentVersion\\RunServices");
  readKey("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v");
  readKey("SYSTEM\\ControlSet001\\Control\\Session Manager");
  readKey("SYSTEM\\Select");
  if (hiveOpenKeyCount() != 0) fuzz::fail("a key was left open");
  return 0;
}
