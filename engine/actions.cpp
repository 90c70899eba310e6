#include "engine/actions.h"

#include <cstring>

#include "engine/report_channel.h"
#include "engine/restart_removal.h"
#include "engine/session.h"
#include "memory/process_kill.h"
#include "platform/files.h"
#include "repair/service_registrations.h"
#include "repair/uninstall_entry.h"

namespace {

void reportRemoved(const char* path, const char* name) {
  ++g_session.filesRemoved;
  reportLine("%s     %s removed", path, name);
}

void deleteInfectedFile(const char* path, const char* name) {
  ScanSession& session = g_session;
  if (!setFileAttributes(path, kAttrArchive)) {
    reportLine("%s     %s Unable to remove", session.statusText, session.detectionName);
    return;
  }
  if (deleteFile(path)) {
    cleanUninstallEntry();
    cleanServiceRegistrations(path, name);
    reportRemoved(path, name);
    return;
  }
  // Still in use: terminate whatever runs it, then try once more.
  if (killProcessByPath(path) && deleteFile(path)) {
    cleanUninstallEntry();
    cleanServiceRegistrations(path, name);
    reportRemoved(path, name);
    return;
  }
  reportLine("%s     %s Unable to remove", path, name);
  session.restartNeeded = scheduleRemovalAtRestart(path);
}

}  // namespace

void renameInfectedFile(const char* path, const char* name) {
  char renamed[260];
  makeRenamedPath(path, renamed);
  if (moveFile(path, renamed)) {
    ++g_session.filesRenamed;
    reportLine("%s     %s renamed", path, name);
  } else {
    reportLine("%s     %s Rename failed", path, name);
  }
}

void makeRenamedPath(const char* path, char* out) {
  copyText(out, path, 260);
  char* dot = std::strrchr(out, '.');
  if (!dot) return;
  if (dot[1]) {
    dot[1] = 'V';
  } else if (dot - out + 2 < 260) {
    dot[1] = 'V';
    dot[2] = 0;
  }
}

void actOnInfectedFile(const char* path, const char* name) {
  switch (g_session.actionCode) {
    case kActionDelete:
    case kActionDeleteToo:
      deleteInfectedFile(path, name);
      break;
    case kActionRename:
      renameInfectedFile(path, name);
      break;
    case kActionReport:
      // What a delete run would remove with the file, listed only.
      cleanServiceRegistrations(path, name);
      reportLine("%s     %s not disinfected as per user's selection", g_session.statusText,
                 g_session.detectionName);
      break;
    default:
      break;
  }
}
