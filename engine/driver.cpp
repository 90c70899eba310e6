#include "engine/driver.h"

#include <cstring>

#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/walker.h"
#include "memory/memory_stage.h"
#include "memory/version.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/system.h"

namespace {

// A Program Files folder the drive walk never entered is walked on its own.
void walkPendingProgramFiles() {
  ScanSession& session = g_session;
  if (session.programFilesPending == 1 && session.programFilesSeen == 0) {
    walkDirectory(session.programFilesPattern);
    session.programFilesPending = 0;
  }
}

void walkFixedDrives() {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    char root[4] = {letter, ':', '\\', 0};
    if (getDriveType(root) != kDriveFixed) continue;
    char pattern[8] = {letter, ':', '\\', '*', '.', '*', 0};
    walkDirectory(pattern);
    walkPendingProgramFiles();
  }
}

void walkTargetFolder() {
  char pattern[kMaxPath];
  size_t length = std::strlen(g_session.scanTarget);
  if (length + 4 >= sizeof pattern) return;  // no room for "\*.*"
  std::memcpy(pattern, g_session.scanTarget, length);
  std::memcpy(pattern + length, "\\*.*", 5);
  walkDirectory(pattern);
  walkPendingProgramFiles();
}

void reportStatistics() {
  ScanSession& session = g_session;
  session.scanFinished = 1;
  if (session.filesInfected > 0) reportLine("%s", " ");
  reportLine("%s", "Scanning statistics");
  reportLine("%s", "------------------------------");
  reportLine("Total files scanned\t\t:  %d", session.filesScanned);
  reportLine("Total files infected\t\t:  %d", session.filesInfected);
  reportLine("Total files removed\t\t:  %d", session.filesRemoved);
}

}  // namespace

int runScan() {
  ScanSession& session = g_session;
  if (session.scanTarget[0]) {
    runMemoryScanStage();
    if (std::strcmp(session.scanTarget, "!:") == 0) {
      walkFixedDrives();
    } else {
      walkTargetFolder();
    }
  }
  reportStatistics();
  copyText(session.statusText, session.stopRequested ? kStatusTerminated : kStatusCompleted,
           sizeof session.statusText);
  sendStatus();
  // Restarting this machine finishes nothing for a Windows on a mounted disk.
  if (session.restartNeeded && !repairsOfflineSystem() &&
      ConfirmBox(kRestartQuestion, kProductTitle, kMbYesNo | kMbIconQuestion) == kIdYes)
    restartComputer();
  return 1;
}
