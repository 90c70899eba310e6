#include "memory/process_kill.h"

#include "memory/version.h"
#include "platform/messages.h"

// The three listing methods are not wired in yet: each reports that it could
// not terminate anything.
int killByNameToolhelp(const char*) { return 0; }
int killByPathPsapi(const char*) { return 0; }
int killByNamePerfData(const char*) { return 0; }

int killProcessByPath(const char* path) {
  int result;
  switch (getWindowsFamily()) {
    case kFamily9x:
      result = killByNameToolhelp(path);
      break;
    case kFamilyNt:
      if (getNtGeneration() == kGenerationNt5) return killByPathPsapi(path);
      result = killByNamePerfData(path);
      break;
    default:
      return 1;
  }
  if (result == 0) {
    messageBox(nullptr, "Could not kill process", path, kMbOk);
    return 0;
  }
  return 1;
}
