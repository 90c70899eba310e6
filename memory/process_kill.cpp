#include "memory/process_kill.h"

#include <cstring>

#include "engine/session.h"
#include "memory/perf_data.h"
#include "memory/process_list.h"
#include "memory/version.h"
#include "platform/ascii.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/system.h"

namespace {

const char* fileNameOf(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

bool terminateWith(uint32_t access, uint32_t processId) {
  ScopedKernelHandle process(openProcess(access, processId));
  return process.valid() && terminateProcess(process.get(), 0);
}

// The upper-cased file name of `path` without its last four characters (the
// extension and its dot); empty when nothing would be left to compare.
void perfBaseName(const char* path, char (&base)[kMaxPath]) {
  base[0] = 0;
  char upper[kMaxPath];
  copyText(upper, path, sizeof upper);
  size_t length = std::strlen(upper);
  if (length <= 4) return;
  for (size_t i = 0; i < length; ++i)
    upper[i] = asciiUpper(upper[i]);
  upper[length - 4] = 0;
  copyText(base, fileNameOf(upper), sizeof base);
}

}  // namespace

int killByNameToolhelp(const char* path) {
  ModuleHandle kernel = loadLibrary("Kernel32.dll");
  sleepMs(100);
  if (!kernel) return 0;
  auto createSnapshot = reinterpret_cast<CreateToolhelp32SnapshotFn>(
      getProcAddress(kernel, "CreateToolhelp32Snapshot"));
  if (!createSnapshot) return 0;
  ScopedKernelHandle snapshot(createSnapshot(kSnapProcess, 0));
  sleepMs(100);
  if (!snapshot.valid()) return 0;
  auto first = reinterpret_cast<Process32Fn>(getProcAddress(kernel, "Process32First"));
  if (!first) return 0;
  ProcessEntry32 entry;
  std::memset(&entry, 0, sizeof entry);
  entry.size = sizeof entry;
  if (!first(snapshot.get(), &entry)) return 0;
  const char* target = fileNameOf(path);
  for (;;) {
    entry.exeFile[sizeof entry.exeFile - 1] = 0;
    if (asciiEqualNoCase(fileNameOf(entry.exeFile), target)) break;
    auto next = reinterpret_cast<Process32Fn>(getProcAddress(kernel, "Process32Next"));
    if (!next) return 0;
    sleepMs(100);
    if (!next(snapshot.get(), &entry)) return 0;
    sleepMs(100);
  }
  // Only the first process running the file is terminated.
  sleepMs(50);
  int result = terminateWith(kProcessTerminateAndQuery, entry.processId) ? 1 : 0;
  sleepMs(500);
  return result;
}

int killByNamePerfData(const char* path) {
  char base[kMaxPath];
  perfBaseName(path, base);
  // An empty base name would match, and terminate, every process.
  if (!base[0]) return 0;
  PerfProcessEntry table[kPerfTableSize];
  std::memset(table, 0, sizeof table);
  int entries = readPerfProcessTable(table);
  size_t baseLength = std::strlen(base);
  int result = 0;
  for (int i = 0; i < entries; ++i) {
    // Names fill all 16 bytes when they have 16 characters: compare bounded.
    size_t nameLength = strnlen(table[i].name, sizeof table[i].name);
    if (nameLength < baseLength || !asciiEqualNoCaseN(table[i].name, base, baseLength)) continue;
    if (terminateWith(kProcessTerminate, table[i].processId)) result = 1;
    sleepMs(500);
  }
  return result;
}

int killByPathPsapi(const char* path) {
  ProcessList processes;
  ListingResult listed = listProcessesPsapi(&processes, false);
  if (listed == ListingResult::Unavailable) return 0;
  size_t length = std::strlen(path);
  for (ProcessNode* node = processes.head(); node; node = node->next) {
    if (std::strlen(node->imagePath) != length || !asciiEqualNoCaseN(node->imagePath, path, length))
      continue;
    if (terminateWith(kProcessTerminateAndQuery, node->processId)) sleepMs(500);
  }
  return 1;
}

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
