// The simulated Windows machine of the native tests: everything Linux lacks
// (registry, version, privileges, restart, processes, the message queue,
// message boxes, the clock) as plain in-memory state that tests set up and
// inspect, with failure injection where a test needs a call to fail. Files
// stay real: the Linux platform's file calls (platform/linux/linux_files.h)
// reach them through its drive map, after the failures injected here. Test
// executables link this in place of the Linux platform; drenvalisk-scan never
// does.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/linux/drive_map.h"
#include "platform/messages.h"
#include "platform/types.h"

struct SimRegistryValue {
  std::string name;
  uint32_t type = 1;
  std::vector<uint8_t> data;
};

struct SimRegistryKey {
  std::vector<SimRegistryValue> values;  // in enumeration order
};

// A process of the simulated machine; while it runs, its image file cannot be
// deleted or moved.
struct SimProcess {
  uint32_t id = 0;
  std::string imagePath;  // Windows path
  bool running = true;
  bool canOpenForQuery = true;   // PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
  bool queryNeedsDebugPrivilege = false;  // refused with access denied until enabled
  bool canOpenForTerminate = true;
  bool canTerminate = true;
};

// A service of the simulated machine. A stop it accepts leaves it
// stop-pending for `stopPendingMs` of the simulated clock, then in `finalState`.
struct SimService {
  std::string name;
  bool acceptsStop = true;
  uint32_t stopPendingMs = 0;
  uint32_t finalState = 1;  // SERVICE_STOPPED
  bool stopping = false;
  uint64_t stopAt = 0;
};

struct SimMessageBox {
  std::string text;
  std::string caption;
  unsigned style;
};

struct SimMachine {
  // Version as GetVersionExA reports it. Platform 0 is "another platform".
  bool versionFails = false;
  uint32_t platformId = 0;
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;

  // Folders the Get...Directory calls report (Windows paths).
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  std::string tempPath = "C:\\WINDOWS\\TEMP\\";

  // File-system failure injection, keyed by upper-cased Windows path.
  std::set<std::string> failSetAttributes;
  std::map<std::string, int> failDeletes;  // remaining failures; -1 forever
  std::set<std::string> failMoves;
  std::set<std::string> failDelayedMoves;
  std::set<std::string> failCopies;
  std::map<std::string, std::string> shortPaths;  // long path -> 8.3 form
  long writeBudget = -1;  // bytes that writes may still write; -1 unlimited
  std::vector<std::string> delayedDeletes;  // MoveFileEx(..., NULL, DELAY)

  // Registry under HKEY_LOCAL_MACHINE, keyed by upper-cased key path.
  std::map<std::string, SimRegistryKey> registry;
  std::set<std::string> failValueDeletes;  // "KEY\\VALUE", upper-cased
  bool failKeyClose = false;
  std::map<std::string, std::string> environment;  // for %NAME% expansion

  // Processes, in the order the system lists them.
  std::vector<SimProcess> processes;
  std::vector<uint32_t> terminated;  // ids, in order of termination
  std::set<std::string> missingLibraries;  // lower-case names LoadLibrary refuses
  std::set<std::string> missingFunctions;  // names GetProcAddress does not find
  bool snapshotFails = false;

  // Services and the service manager.
  std::vector<SimService> services;
  bool serviceManagerFails = false;

  // The answer of HKEY_PERFORMANCE_DATA: the bytes of a PERF_DATA_BLOCK.
  std::vector<uint8_t> performanceData;
  long performanceDataError = 0;  // answered instead of the data when non-zero
  std::vector<uint32_t> performanceQuerySizes;  // buffer sizes offered, in order
  // The size an answer of ERROR_MORE_DATA leaves behind, which the platform
  // does not define for this key: the offered size when negative, else this.
  int64_t performanceSizeOnMoreData = -1;
  // Queries beyond this many are refused (ERROR_TIMEOUT), so a reader that
  // never stops asking ends a test instead of hanging it.
  size_t performanceQueryLimit = 1000;

  // Privileges and restart.
  bool tokenOpenFails = false;
  bool privilegeNotHeld = false;
  std::vector<std::string> enabledPrivileges;
  int exitWindowsResult = 1;
  std::vector<uint32_t> restartRequests;
  uint32_t lastError = 0;

  // Clock: pauses advance it instead of sleeping.
  uint64_t clockMs = 0;
  std::vector<uint32_t> pauses;

  // Message queue of the user-interface thread and what was dispatched.
  std::deque<Message> messageQueue;
  std::vector<Message> dispatched;
  std::vector<SimMessageBox> messageBoxes;
  int messageBoxAnswer = kIdOk;

  // Open handles, so tests can see that every path closed what it opened.
  int openSearches = 0;
  int openKeys = 0;
  int openFiles = 0;
  int openTokens = 0;
  int openKernelHandles = 0;  // processes, snapshots, tokens
  int openServiceHandles = 0;
};

// The one simulated machine of this process.
SimMachine& simMachine();
// Starts a process running `imagePath` (a Windows path) on the machine; the
// returned entry stays valid until the next process is started.
SimProcess& simRunProcess(uint32_t id, const std::string& imagePath);
// Back to a fresh machine with no drives (handles counted from zero).
void resetSimMachine();

// Drives are mapped with hostMapDrive (platform/linux/drive_map.h).

// Upper-cased form used as the key of failure-injection tables.
std::string simPathKey(const char* windowsPath);
