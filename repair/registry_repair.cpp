#include "repair/registry_repair.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "engine/uu_matcher.h"
#include "memory/version.h"
#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "repair/registry_values.h"
#include "repair/uninstall_entry.h"

namespace {

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunServicesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v";

constexpr uint32_t kValueNameCapacity = 16383;
constexpr uint32_t kValueDataSize = 264;
constexpr uint32_t kExpandedSize = 261;

void lowerInPlace(char* text) {
  for (; *text; ++text) *text = asciiLower(*text);
}

// The repair's report lines:
//   "System Registry     %s removed"         detection name: a value deleted
//   "System Registry     %s not removed: HKLM\%s\%s" detection name, key, value
//       name: a deletion made in memory that could not be written
//   "System Registry     %s found: HKLM\%s\%s" detection name, key, value name:
//       report mode (action 103), a value a delete run would remove, left as it is
void reportRegistryRemoval(const char* name, const char* keyPath, const char* valueName) {
  if (!g_session.reportWindow) return;
  char removed[kReportLineSize], kept[kReportLineSize];
  std::snprintf(removed, sizeof removed, "System Registry     %s removed", name);
  std::snprintf(kept, sizeof kept, "System Registry     %s not removed: HKLM\\%s\\%s", name, keyPath,
                valueName);
  reportRegistryChange(keyPath, removed, kept);
}

// Report mode changes nothing: values are only looked at and listed.
bool reportMode() { return g_session.actionCode == kActionReport; }

// The values listed as found in this scan, so that each is listed once
// although the remembered name is looked for at every later match.
constexpr size_t kListedTextSize = 128;
constexpr int kMaxListed = 64;
struct ListedValue {
  char keyPath[kListedTextSize];
  char valueName[kListedTextSize];
};
ListedValue g_listed[kMaxListed];
int g_listedCount = 0;

// True when the value was not listed before in this scan (and is now noted).
bool firstListing(const char* keyPath, const char* valueName) {
  // A name too long to note is listed each time rather than noted cut short.
  if (std::strlen(keyPath) >= kListedTextSize || std::strlen(valueName) >= kListedTextSize)
    return true;
  for (int i = 0; i < g_listedCount; ++i)
    if (asciiEqualNoCase(g_listed[i].keyPath, keyPath) &&
        asciiEqualNoCase(g_listed[i].valueName, valueName))
      return false;
  if (g_listedCount < kMaxListed) {
    copyText(g_listed[g_listedCount].keyPath, keyPath, kListedTextSize);
    copyText(g_listed[g_listedCount].valueName, valueName, kListedTextSize);
    ++g_listedCount;
  }
  return true;
}

void reportRegistryFound(const char* name, const char* keyPath, const char* valueName) {
  if (g_session.reportWindow && firstListing(keyPath, valueName))
    reportLine("System Registry     %s found: HKLM\\%s\\%s", name, keyPath, valueName);
}

void reportTrojanValueFound(const char* keyPath, const char* valueName) {
  reportRegistryFound("W32/Tarvolinex.Trojan", keyPath, valueName);
}

bool valueExists(RegKey root, const char* keyPath, const char* valueName) {
  ScopedRegKey key;
  if (regOpenKeyEx(root, keyPath, kKeyRead, key.receive()) != kErrorSuccess) return false;
  uint32_t size = 0;
  return regQueryValueEx(key.get(), valueName, nullptr, nullptr, &size) == kErrorSuccess;
}

enum class Outcome { Kept, Listed, Deleted };

// Deletes a start-up value and reports it removed; in report mode lists an
// existing value as found and leaves it.
Outcome removeValue(RegKey root, const char* keyPath, const char* valueName, const char* name) {
  if (reportMode()) {
    if (!valueExists(root, keyPath, valueName)) return Outcome::Kept;
    reportRegistryFound(name, keyPath, valueName);
    return Outcome::Listed;
  }
  if (!deleteRegistryValue(root, keyPath, valueName)) return Outcome::Kept;
  reportRegistryRemoval(name, keyPath, valueName);
  return Outcome::Deleted;
}

// Remembers a start-up value's name. A name longer than the field holds is
// not stored: cut short, it could later delete a different value.
void rememberValueName(const char* name) {
  if (std::strlen(name) < sizeof g_session.startupValueName)
    copyText(g_session.startupValueName, name, sizeof g_session.startupValueName);
}

void checkHostsFile() {
  char hostsPath[kMaxPath + 32];
  int family = getWindowsFamily();
  uint32_t length = 0;
  if (family == kFamilyNt) {
    length = getSystemDirectory(hostsPath, kMaxPath);
    if (length == 0 || length >= kMaxPath) return;
    std::strcat(hostsPath, "\\drivers\\etc\\hosts");
  } else if (family == kFamily9x) {
    length = getWindowsDirectory(hostsPath, kMaxPath);
    if (length == 0 || length >= kMaxPath) return;
    std::strcat(hostsPath, "\\hosts");
  } else {
    return;
  }
  matchUuencodedFile(kTrojanCheckName, hostsPath);
}

const char* skipQuote(const char* text) { return text[0] == '"' ? text + 1 : text; }

}  // namespace

int deleteRegistryValue(RegKey root, const char* keyPath, const char* valueName) {
  ScopedRegKey key;
  if (regOpenKeyEx(root, keyPath, kKeyAllAccess, key.receive()) != kErrorSuccess) return 0;
  long deleted = regDeleteValue(key.get(), valueName);
  long closed = key.close();
  return deleted == kErrorSuccess && closed == kErrorSuccess ? 1 : 0;
}

int readRegistryString(RegKey root, const char* keyPath, const char* valueName, char* out,
                       uint32_t capacity) {
  ScopedRegKey key;
  if (regOpenKeyEx(root, keyPath, kKeyRead, key.receive()) != kErrorSuccess) return 0;
  uint32_t type = 0;
  if (!readValueText(key.get(), valueName, &type, out, capacity)) return 0;
  // Only a string starts a program, as Windows reads start-up values: other
  // data is treated as not matching.
  if (type != kRegSz && type != kRegExpandSz) return 0;
  return key.close() == kErrorSuccess ? 1 : 0;
}

void cleanStartupKey(RegKey root, const char* keyPath) {
  ScopedRegKey key;
  if (regOpenKeyEx(root, keyPath, kKeyRead, key.receive()) != kErrorSuccess) return;
  uint32_t values = 0;
  if (regQueryValueCount(key.get(), &values) != kErrorSuccess || values == 0) return;

  char* currentFile = g_session.currentFile;
  uint32_t deleted = 0;
  for (uint32_t i = 0; i < values; ++i) {
    static char valueName[kValueNameCapacity + 1];
    uint32_t nameLength = kValueNameCapacity;
    // Each deletion moves the later values one position down.
    if (regEnumValueName(key.get(), i - deleted, valueName, &nameLength) != kErrorSuccess) continue;
    const char* slash = std::strrchr(currentFile, '\\');
    if (!slash) return;
    const char* fileName = slash + 1;

    char data[kValueDataSize];
    if (!readRegistryString(root, keyPath, valueName, data, sizeof data)) continue;
    lowerInPlace(data);
    lowerInPlace(currentFile);
    char expanded[kExpandedSize];
    uint32_t needed = expandEnvironmentStrings(data, expanded, sizeof expanded);
    if (needed == 0) continue;
    if (needed > sizeof expanded) expanded[0] = 0;  // cut short: cannot name the file
    lowerInPlace(expanded);

    bool bareName = !std::strchr(data, '\\') || data[0] == '\\';
    if (std::strstr(data, fileName) && bareName) {
      bool inSystemFolder = std::strstr(currentFile, "\\system\\") || std::strstr(currentFile, "\\system32\\");
      if (inSystemFolder) {
        Outcome outcome = removeValue(root, keyPath, valueName, "W32/Tarvolinex.Trojan");
        if (outcome != Outcome::Kept) rememberValueName(valueName);
        if (outcome == Outcome::Deleted) ++deleted;
      }
      continue;
    }
    size_t fileLength = std::strlen(currentFile);
    if (std::strncmp(skipQuote(data), currentFile, fileLength) == 0 ||
        std::strncmp(skipQuote(expanded), currentFile, fileLength) == 0) {
      rememberValueName(valueName);
      if (removeValue(root, keyPath, valueName, "W32/Tarvolinex.Trojan") == Outcome::Deleted)
        ++deleted;
    }
  }
}

int repairRegistry(const char* detectionName) {
  // The list of values found starts afresh with the scan's first match, as
  // the remembered name does.
  if (g_session.filesInfected <= 1) g_listedCount = 0;
  checkHostsFile();
  // Every step runs in each registry view: a 32-bit trojan on a 64-bit
  // Windows writes its values under WOW6432Node.
  const SoftwareViews views = softwareViews();
  for (int v = 0; v < views.count; ++v) {
    char run[kViewKeyPathSize], runServices[kViewKeyPathSize], uninstall[kViewKeyPathSize];
    if (!keyPathInView(kRunKey, views.names[v], run, sizeof run) ||
        !keyPathInView(kRunServicesKey, views.names[v], runServices, sizeof runServices) ||
        !keyPathInView(kUninstallKey, views.names[v], uninstall, sizeof uninstall))
      continue;
    if (g_session.startupValueName[0]) {
      for (const char* keyPath : {run, runServices, uninstall})
        removeValue(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, g_session.startupValueName, detectionName);
    }
    if (g_session.currentFile[0]) {
      cleanStartupKey(PLATFORM_HKEY_LOCAL_MACHINE, run);
      cleanStartupKey(PLATFORM_HKEY_LOCAL_MACHINE, runServices);
    }
  }
  // A delete run removes the trojan's uninstall entry after deleting a file;
  // a report run lists what that would remove.
  if (reportMode()) findUninstallEntry(reportTrojanValueFound);
  return 1;
}
