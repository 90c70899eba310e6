#include "repair/service_registrations.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/report_channel.h"
#include "engine/session.h"
#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "repair/registry_values.h"

namespace {

constexpr uint32_t kImagePathSize = 1024;
constexpr uint32_t kKeyNameSize = 256;
constexpr size_t kKeyPathSize = 512;

bool startsWithNoCase(const char* text, const char* prefix) {
  return asciiEqualNoCaseN(text, prefix, std::strlen(prefix));
}

// ASCII only, as drive letters are.
bool hasDriveLetter(const char* text) {
  const char letter = static_cast<char>(text[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && text[1] == ':';
}

// "ControlSet" and three digits, in any letter case.
bool isNumberedControlSet(const char* name) {
  if (std::strlen(name) != 13 || !startsWithNoCase(name, "ControlSet")) return false;
  for (int i = 10; i < 13; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// The names of the subkeys of `keyPath`, as stored.
std::vector<std::string> subkeyNames(const char* keyPath) {
  std::vector<std::string> names;
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, kKeyRead, key.receive()) != kErrorSuccess)
    return names;
  char name[kKeyNameSize];
  for (uint32_t index = 0;; ++index) {
    uint32_t length = sizeof name;
    long result = regEnumKeyName(key.get(), index, name, &length);
    if (result == kErrorMoreData) continue;  // longer than any key name Windows allows
    if (result != kErrorSuccess) break;
    names.push_back(name);
  }
  return names;
}

// The service's ImagePath names the file; a service without a readable
// string ImagePath names none.
bool serviceNamesFile(const std::string& serviceKey, const char* path) {
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, serviceKey.c_str(), kKeyRead, key.receive()) !=
      kErrorSuccess)
    return false;
  char imagePath[kImagePathSize];
  uint32_t type = 0;
  if (!readValueText(key.get(), "ImagePath", &type, imagePath, sizeof imagePath)) return false;
  if (type != kRegSz && type != kRegExpandSz) return false;
  return imagePathNames(imagePath, path);
}

// Deletes the service's Enum and Security subkeys, then its key; true when
// the key is gone.
bool removeServiceKey(const std::string& serviceKey) {
  for (const char* subkey : {"\\Enum", "\\Security"})
    regDeleteKey(PLATFORM_HKEY_LOCAL_MACHINE, (serviceKey + subkey).c_str());
  return regDeleteKey(PLATFORM_HKEY_LOCAL_MACHINE, serviceKey.c_str()) == kErrorSuccess;
}

// The report lines, each naming the service key:
//   "System Registry     %s removed: HKLM\%s"          deleted
//   "System Registry     %s Unable to remove: HKLM\%s" left (it has other subkeys)
//   "System Registry     %s found: HKLM\%s"            report mode, left as it is
void report(const char* format, const char* name, const std::string& serviceKey) {
  if (g_session.reportWindow) reportLine(format, name, serviceKey.c_str());
}

// A removal made in memory is told as one once it is on disk; otherwise the
// key is reported as not removed.
void reportRemoval(const char* name, const std::string& serviceKey) {
  if (!g_session.reportWindow) return;
  char removed[kReportLineSize], kept[kReportLineSize];
  std::snprintf(removed, sizeof removed, "System Registry     %s removed: HKLM\\%s", name,
                serviceKey.c_str());
  std::snprintf(kept, sizeof kept, "System Registry     %s Unable to remove: HKLM\\%s", name,
                serviceKey.c_str());
  reportRegistryChange(serviceKey.c_str(), removed, kept);
}

}  // namespace

bool imagePathNames(const char* imagePath, const char* path) {
  char expanded[kImagePathSize];
  uint32_t needed = expandEnvironmentStrings(imagePath, expanded, sizeof expanded);
  if (needed == 0 || needed > sizeof expanded) return false;
  const char* text = expanded;
  while (*text == ' ' || *text == '\t') ++text;
  const bool quoted = *text == '"';
  if (quoted) ++text;

  char resolved[kImagePathSize + kMaxPath];
  resolved[0] = 0;
  if (startsWithNoCase(text, "\\??\\") || startsWithNoCase(text, "\\\\?\\")) {
    text += 4;
  } else if (startsWithNoCase(text, "\\SystemRoot\\") || !(hasDriveLetter(text) || text[0] == '\\')) {
    // The service manager reads both below the Windows folder.
    if (text[0] == '\\') text += std::strlen("\\SystemRoot\\");
    uint32_t length = getWindowsDirectory(resolved, kMaxPath);
    if (length == 0 || length >= kMaxPath) return false;
    std::strcat(resolved, "\\");
  }
  // Both parts are bounded: the folder by kMaxPath, the text by its buffer.
  const size_t prefix = std::strlen(resolved);
  std::memcpy(resolved + prefix, text, std::strlen(text) + 1);

  const size_t length = std::strlen(path);
  if (length == 0 || !asciiEqualNoCaseN(resolved, path, length)) return false;
  const char next = resolved[length];
  if (quoted) return next == '"' || next == 0;
  return next == 0 || next == ' ' || next == '\t';
}

void cleanServiceRegistrations(const char* path, const char* detectionName) {
  if (!repairsOfflineSystem()) return;
  const bool reportOnly = g_session.actionCode == kActionReport;
  for (const std::string& set : subkeyNames("SYSTEM")) {
    if (!isNumberedControlSet(set.c_str())) continue;
    // The Services key as stored (lower-case on some installations).
    std::string servicesKey;
    for (const std::string& name : subkeyNames(("SYSTEM\\" + set).c_str()))
      if (asciiEqualNoCase(name.c_str(), "Services")) servicesKey = "SYSTEM\\" + set + "\\" + name;
    if (servicesKey.empty()) continue;
    std::vector<std::string> named;
    for (const std::string& service : subkeyNames(servicesKey.c_str())) {
      const std::string serviceKey = servicesKey + "\\" + service;
      if (serviceKey.size() < kKeyPathSize && serviceNamesFile(serviceKey, path))
        named.push_back(serviceKey);
    }
    for (const std::string& serviceKey : named) {
      if (reportOnly)
        report("System Registry     %s found: HKLM\\%s", detectionName, serviceKey);
      else if (removeServiceKey(serviceKey))
        reportRemoval(detectionName, serviceKey);
      else
        report("System Registry     %s Unable to remove: HKLM\\%s", detectionName, serviceKey);
    }
  }
}
