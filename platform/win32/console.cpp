#include <windows.h>
#include <io.h>

#include "platform/console.h"

namespace {
using Status = ScanTarget::Status;

DWORD g_scanThread = 0;

BOOL WINAPI onConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  PostThreadMessageA(g_scanThread, WM_QUIT, 0, 0);
  return TRUE;
}
}  // namespace

void installInterruptHandler() {
  g_scanThread = GetCurrentThreadId();
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread a message queue
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}
bool standardInputIsTerminal() { return _isatty(0) != 0; }
bool standardErrorIsTerminal() { return _isatty(2) != 0; }
bool standardOutputIsTerminal() { return _isatty(1) != 0; }

ScanTarget prepareScanTarget(const std::vector<std::string>& folders, size_t capacity) {
  if (folders.size() > 1)
    return ScanTarget::failed(Status::UsageError, "", "the Win32 scanner takes at most one DIR");
  ScanTarget result;
  if (folders.empty()) {
    result.target = "!:";  // every fixed drive, memory stage first
    return result;
  }
  std::string folder = folders[0];
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  // Room for the walk's "\*.*" and the terminator.
  if (folder.size() + 4 >= capacity)
    return ScanTarget::failed(Status::FolderError, folder, "path too long");
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return ScanTarget::failed(Status::FolderError, folder, "no such folder");
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return ScanTarget::failed(Status::FolderError, folder, "not a folder");
  if (folder.back() == '\\') folder.pop_back();  // "C:\" walks as "C:\*.*"
  result.target = folder;
  return result;
}

const char* scanFoldersSynopsis() { return "[DIR]"; }
const char* scanFoldersHelp() {
  return "  DIR               a folder to scan (a Windows path); without it, the memory\n"
         "                    and every fixed drive of this machine are scanned\n";
}

// Windows itself refuses to list the junctions a walk meets; nothing to add.
std::string scanEndNote() { return std::string(); }
