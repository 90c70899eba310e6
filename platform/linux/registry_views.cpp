// The registry views of an offline installation: a 64-bit Windows keeps the
// entries of its 32-bit programs under Software\WOW6432Node, which nothing
// redirects to when its hives are read from Linux.
#include <cstdio>

#include "platform/ascii.h"
#include "platform/offline/hive_registry.h"
#include "platform/offline/offline_windows.h"
#include "platform/registry.h"

namespace {

constexpr const char* kWow64View = "WOW6432Node";

bool keyExists(const char* keyPath) {
  ScopedRegKey key;
  return regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, kKeyRead, key.receive()) ==
         kErrorSuccess;
}

// The installation's PROCESSOR_ARCHITECTURE names a 64-bit processor ("AMD64",
// "ARM64", "IA64"; a 32-bit Windows says "x86").
bool sixtyFourBitProcessor() {
  char keyPath[96];
  std::snprintf(keyPath, sizeof keyPath,
                "SYSTEM\\ControlSet%03u\\Control\\Session Manager\\Environment", hiveDefaultControlSet());
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, kKeyRead, key.receive()) != kErrorSuccess)
    return false;
  char text[32] = {};
  uint32_t size = sizeof text - 1;
  uint32_t type = 0;
  if (regQueryValueEx(key.get(), "PROCESSOR_ARCHITECTURE", &type, reinterpret_cast<uint8_t*>(text),
                      &size) != kErrorSuccess ||
      (type != kRegSz && type != kRegExpandSz) || text[0] == 0)
    return false;
  return !asciiEqualNoCase(text, "x86");
}

}  // namespace

int regExtraSoftwareViews(const char** views, int capacity) {
  if (!offlineWindows() || capacity < 1) return 0;
  if (!sixtyFourBitProcessor() && !keyExists("SOFTWARE\\WOW6432Node")) return 0;
  views[0] = kWow64View;
  return 1;
}
