#include "memory/process_list.h"

#include <cstring>
#include <new>

#include "engine/session.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/system.h"

bool ProcessList::append(uint32_t processId, const char* imagePath) {
  ProcessNode* node = new (std::nothrow) ProcessNode();
  if (!node) return false;
  node->processId = processId;
  copyText(node->imagePath, imagePath, 260);
  if (tail_) {
    tail_->next = node;
  } else {
    head_ = node;
  }
  tail_ = node;
  return true;
}

void ProcessList::clear() {
  while (head_) {
    ProcessNode* next = head_->next;
    delete head_;
    head_ = next;
  }
  tail_ = nullptr;
}

namespace {

// The memory stage may read other users' processes once it holds the debug
// privilege. A token that cannot be opened is announced, as it always was.
void enableDebugPrivilege() {
  ScopedKernelHandle token;
  if (!openProcessToken(kTokenAdjustPrivileges | kTokenQuery, token.receive())) {
    messageBox(nullptr, "false", "TEMP", kMbOk);
    return;
  }
  enablePrivilege(token.get(), "SeDebugPrivilege");
}

Handle openForReading(uint32_t processId, bool debugPrivilegeOnDenied) {
  Handle process = openProcess(kProcessQueryAndRead, processId);
  if (!process && debugPrivilegeOnDenied && getLastError() == kErrorAccessDeniedCode) {
    enableDebugPrivilege();
    process = openProcess(kProcessQueryAndRead, processId);
  }
  return process;
}

}  // namespace

ListingResult listProcessesPsapi(ProcessList* list, bool debugPrivilegeOnDenied) {
  ModuleHandle psapi = loadLibrary("psapi.dll");
  auto enumProcesses = reinterpret_cast<EnumProcessesFn>(getProcAddress(psapi, "EnumProcesses"));
  if (!enumProcesses) return ListingResult::Unavailable;
  uint32_t ids[kMaxListedProcesses];
  std::memset(ids, 0, sizeof ids);
  uint32_t bytes = 0;
  enumProcesses(ids, sizeof ids, &bytes);
  uint32_t count = bytes / 4;
  if (count > kMaxListedProcesses) count = kMaxListedProcesses;
  if (count == 0) return ListingResult::Unavailable;
  auto moduleFileName =
      reinterpret_cast<GetModuleFileNameExFn>(getProcAddress(psapi, "GetModuleFileNameExA"));
  if (!moduleFileName) return ListingResult::Unavailable;

  for (uint32_t i = 0; i < count; ++i) {
    ScopedKernelHandle process(openForReading(ids[i], debugPrivilegeOnDenied));
    if (!process.valid()) continue;
    char path[260];
    std::memset(path, 0, sizeof path);
    if (moduleFileName(process.get(), nullptr, path, sizeof path) == 0) continue;
    path[sizeof path - 1] = 0;
    if (!list->append(ids[i], path)) {
      list->clear();
      return ListingResult::OutOfMemory;
    }
  }
  return ListingResult::Listed;
}

ListingResult listProcessesToolhelp(ProcessList* list) {
  ModuleHandle kernel = loadLibrary("Kernel32.dll");
  if (!kernel) return ListingResult::Unavailable;
  auto createSnapshot = reinterpret_cast<CreateToolhelp32SnapshotFn>(
      getProcAddress(kernel, "CreateToolhelp32Snapshot"));
  if (!createSnapshot) return ListingResult::Unavailable;
  ScopedKernelHandle snapshot(createSnapshot(kSnapProcess, 0));
  if (!snapshot.valid()) return ListingResult::Unavailable;
  auto first = reinterpret_cast<Process32Fn>(getProcAddress(kernel, "Process32First"));
  if (!first) return ListingResult::Unavailable;
  ProcessEntry32 entry;
  std::memset(&entry, 0, sizeof entry);
  entry.size = sizeof entry;
  if (!first(snapshot.get(), &entry)) return ListingResult::Unavailable;
  do {
    entry.exeFile[sizeof entry.exeFile - 1] = 0;
    if (!list->append(entry.processId, entry.exeFile)) {
      list->clear();
      return ListingResult::OutOfMemory;
    }
    auto next = reinterpret_cast<Process32Fn>(getProcAddress(kernel, "Process32Next"));
    if (!next) {
      list->clear();
      return ListingResult::Unavailable;
    }
    if (!next(snapshot.get(), &entry)) break;
  } while (true);
  return ListingResult::Listed;
}
