#include "repair/service_keys.h"

#include <cstdio>
#include <cstring>

#include "platform/registry.h"

namespace {

struct KeyStep {
  const char* prefix;
  const char* suffix;
};

// Subkeys before their key: NT refuses to delete a key that has subkeys.
constexpr KeyStep kSteps[] = {
    {"SYSTEM\\ControlSet001\\Services\\", "\\Enum"},
    {"SYSTEM\\ControlSet001\\Services\\", "\\Security"},
    {"SYSTEM\\ControlSet001\\Services\\", ""},
    {"SYSTEM\\CONTROLSET002\\SERVICES\\", "\\Enum"},
    {"SYSTEM\\ControlSet002\\Services\\", "\\Security"},
    {"SYSTEM\\ControlSet002\\Services\\", ""},
};

constexpr size_t kKeyPathSize = 512;

}  // namespace

int deleteMachineKey(const char* keyPath) {
  return regDeleteKey(PLATFORM_HKEY_LOCAL_MACHINE, keyPath) == kErrorSuccess ? 1 : 0;
}

int removeServiceKeys(const char* serviceName) {
  // Without a name every path would name the Services key itself.
  if (!serviceName || !serviceName[0]) return 0;
  int removed = 0;
  for (const KeyStep& step : kSteps) {
    char keyPath[kKeyPathSize];
    std::memset(keyPath, 0, sizeof keyPath);
    int length = std::snprintf(keyPath, sizeof keyPath, "%s%s%s", step.prefix, serviceName, step.suffix);
    if (length < 0 || static_cast<size_t>(length) >= sizeof keyPath) continue;  // name too long
    if (deleteMachineKey(keyPath)) removed = 1;
  }
  return removed;
}
