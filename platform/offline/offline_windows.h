// A Windows installation on the folder mapped as C:: the disk of a machine
// that is not running, mounted on a rescue system. Found by its two registry
// hives (Windows\System32\config\SOFTWARE and SYSTEM, or the same under WINNT,
// names in any letter case), reached only through folders inside the mapped
// drive that are not symbolic links. Its version, folders and environment
// are what the Linux platform reports, and its hives serve the
// registry (platform/offline/hive_registry.h).
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/offline/hive_store.h"
#include "platform/system.h"

class OfflineWindows {
 public:
  // Looks for an installation under `driveRoot` (the host folder of C:).
  explicit OfflineWindows(const std::string& driveRoot);
  ~OfflineWindows();
  OfflineWindows(const OfflineWindows&) = delete;
  OfflineWindows& operator=(const OfflineWindows&) = delete;

  bool present() const { return software_ != nullptr; }
  const std::string& driveRoot() const { return driveRoot_; }
  // "C:\Windows" and "C:\Windows\System32", spelt as on the disk.
  const std::string& windowsFolder() const { return windowsFolder_; }
  const std::string& systemFolder() const { return systemFolder_; }
  // The version as GetVersionExA would report it on that Windows: the NT
  // family, the numbers from the SOFTWARE hive (0.0 when they cannot be read).
  const OsVersionInfo& version() const { return version_; }
  // The drive letter that installation gives its own system drive (from its
  // SystemRoot), for paths it must read at its next start.
  char ownDriveLetter();
  // The value of an environment variable as that Windows would expand it in
  // a start-up value, with its folders named on C:; false when unknown.
  bool environmentValue(const std::string& name, std::string* value);

  OfflineHive& software() { return *software_; }
  OfflineHive& system() { return *system_; }

 private:
  void readVersion();
  std::string softwareText(const char* keyPath, const char* valueName);
  std::string onDriveC(const std::string& path) const;

  std::string driveRoot_;
  std::string windowsFolder_;
  std::string systemFolder_;
  int configFd_ = -1;
  std::unique_ptr<OfflineHive> software_;
  std::unique_ptr<OfflineHive> system_;
  OsVersionInfo version_ = {};
  std::map<std::string, std::string> environment_;  // upper-cased name -> value
  bool environmentRead_ = false;
  char ownDrive_ = 0;
};

// The installation on C:, looked for once per mapping of C:; null when C: is
// not mapped or holds none.
OfflineWindows* offlineWindows();
