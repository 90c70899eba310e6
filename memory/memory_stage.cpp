#include "memory/memory_stage.h"

#include <cstring>

#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/walker.h"
#include "memory/process_list.h"
#include "memory/service_stop.h"
#include "memory/version.h"
#include "platform/file_io.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "repair/service_keys.h"

int g_memoryRestartNeeded = 0;

namespace {

// Examines a process's image file; true when it matched a signature.
bool examineImage(const char* imagePath) {
  if (fileAccess(imagePath, 4) != 0) return false;  // unreadable: never infected
  walkDirectory(imagePath);
  return g_session.memoryHit != 0;
}

// Walks the image again in kill-then-act mode: the file is acted on (deleted
// for the scan's action) after the "System Memory" line.
void actOnTerminatedImage(const char* imagePath) {
  g_session.killThenActAction = g_session.actionCode;
  walkDirectory(imagePath);
  g_session.killThenActAction = 0;
}

// Report mode (action 103) leaves a running infected process as it is and
// lists it: the pair of lines a delete run would send for it, saying found
// and left instead of removed, with the image's full path and the detection
// name of the record that matched it.
//   "System Memory    W32/Tarvolinex.Trojan  found"
//   "%s     %s not disinfected as per user's selection"  image path, name
void reportRunningTrojan(const char* imagePath) {
  reportLine("%s", "System Memory    W32/Tarvolinex.Trojan  found");
  reportLine("%s     %s not disinfected as per user's selection", imagePath,
             g_session.detectionName);
}

bool terminate(uint32_t processId) {
  ScopedKernelHandle process(openProcess(kProcessTerminateAndQuery, processId));
  return process.valid() && terminateProcess(process.get(), 0);
}

bool removesFiles(int actionCode) {
  return actionCode == kActionDelete || actionCode == kActionRename ||
         actionCode == kActionDeleteToo;
}

// Steps taken on the NT family for one infected process.
void removeRunningTrojanNt(const ProcessNode& node) {
  bool terminated = terminate(node.processId);
  if (terminate(node.processId)) {
    actOnTerminatedImage(node.imagePath);
    return;
  }
  int generation = getNtGeneration();
  if (generation == kGenerationNt4 || generation == kGenerationNt5) {
    char serviceName[260];
    serviceNameOfImage(node.imagePath, serviceName);
    // An image named only by its extension gives no service name: there is
    // no service to stop, and no key of its own to remove.
    if (serviceName[0] && stopService(serviceName)) {
      removeServiceKeys(serviceName);
      actOnTerminatedImage(node.imagePath);
      return;
    }
    if (serviceName[0]) removeServiceKeys(serviceName);
    g_memoryRestartNeeded = 1;
  }
  if (terminated) actOnTerminatedImage(node.imagePath);
}

}  // namespace

void serviceNameOfImage(const char* imagePath, char* out) {
  const char* slash = std::strrchr(imagePath, '\\');
  copyText(out, slash ? slash + 1 : imagePath, 260);
  if (char* dot = std::strrchr(out, '.')) *dot = 0;
}

void scanProcesses9x() {
  ProcessList processes;
  if (listProcessesToolhelp(&processes) != ListingResult::Listed) return;
  for (ProcessNode* node = processes.head(); node; node = node->next) {
    if (!examineImage(node->imagePath)) continue;
    if (g_session.stopRequested) break;  // stopped during the examination: act on nothing
    if (g_session.actionCode == kActionReport) {
      reportRunningTrojan(node->imagePath);
      continue;
    }
    terminate(node->processId);
    actOnTerminatedImage(node->imagePath);
  }
}

int scanProcessesNt() {
  ProcessList processes;
  if (listProcessesPsapi(&processes, true) != ListingResult::Listed) return 0;
  int found = 0;
  for (ProcessNode* node = processes.head(); node; node = node->next) {
    if (!examineImage(node->imagePath)) continue;
    if (g_session.stopRequested) break;  // stopped during the examination: act on nothing
    found = 1;
    if (removesFiles(g_session.actionCode)) {
      removeRunningTrojanNt(*node);
    } else if (g_session.actionCode == kActionReport) {
      reportRunningTrojan(node->imagePath);
    }
  }
  return found;
}

void runMemoryScanStage() {
  int family = getWindowsFamily();
  g_session.memoryCheckMode = 1;
  if (family == kFamily9x) {
    scanProcesses9x();
  } else if (family == kFamilyNt && scanProcessesNt() &&
             g_session.actionCode != kActionReport &&  // a report run goes on with the drives
             !g_session.stopRequested) {  // a stopped scan ends with its statistics
    if (g_memoryRestartNeeded == 1 &&
        ConfirmBox(kMemoryRestartQuestion, kProductTitle, kMbOkCancel | kMbIconInformation) == kIdOk)
      restartComputer();
    // The drives are left to the next run, after the restart.
    exitProgram(0);
  }
  g_session.memoryCheckMode = 0;
}
