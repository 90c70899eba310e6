// Processes, run-time libraries and kernel handles of the simulated machine.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/system.h"
#include "tests/sim/sim_machine.h"

namespace {

enum class Kind { Process, Snapshot, Token };

struct KernelObject {
  explicit KernelObject(Kind k) : kind(k) {}
  Kind kind;
  uint32_t processId = 0;            // Process
  uint32_t access = 0;               // Process
  std::vector<ProcessEntry32> list;  // Snapshot
  size_t next = 0;                   // Snapshot
};

std::map<Handle, KernelObject*> g_objects;

Handle newObject(KernelObject* object) {
  g_objects[object] = object;
  ++simMachine().openKernelHandles;
  if (object->kind == Kind::Token) ++simMachine().openTokens;
  return object;
}

KernelObject* objectOf(Handle handle, Kind kind) {
  auto found = g_objects.find(handle);
  return found != g_objects.end() && found->second->kind == kind ? found->second : nullptr;
}

SimProcess* runningProcess(uint32_t id) {
  for (SimProcess& process : simMachine().processes)
    if (process.id == id && process.running) return &process;
  return nullptr;
}

bool privilegeEnabled(const char* name) {
  const auto& enabled = simMachine().enabledPrivileges;
  return std::find(enabled.begin(), enabled.end(), name) != enabled.end();
}

Handle PLATFORM_API simCreateToolhelp32Snapshot(uint32_t flags, uint32_t) {
  if (simMachine().snapshotFails || !(flags & kSnapProcess)) return PLATFORM_INVALID_HANDLE;
  auto* snapshot = new KernelObject(Kind::Snapshot);
  for (const SimProcess& process : simMachine().processes) {
    if (!process.running) continue;
    ProcessEntry32 entry = {};
    entry.size = sizeof entry;
    entry.processId = process.id;
    std::snprintf(entry.exeFile, sizeof entry.exeFile, "%s", process.imagePath.c_str());
    snapshot->list.push_back(entry);
  }
  return newObject(snapshot);
}

int PLATFORM_API simProcess32Next(Handle handle, ProcessEntry32* entry) {
  KernelObject* snapshot = objectOf(handle, Kind::Snapshot);
  if (!snapshot || entry->size != sizeof *entry || snapshot->next >= snapshot->list.size())
    return 0;
  *entry = snapshot->list[snapshot->next++];
  return 1;
}

int PLATFORM_API simProcess32First(Handle handle, ProcessEntry32* entry) {
  KernelObject* snapshot = objectOf(handle, Kind::Snapshot);
  if (!snapshot) return 0;
  snapshot->next = 0;
  return simProcess32Next(handle, entry);
}

int PLATFORM_API simEnumProcesses(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned) {
  uint32_t count = 0;
  for (const SimProcess& process : simMachine().processes)
    if (process.running && (count + 1) * 4 <= bytes) ids[count++] = process.id;
  *bytesReturned = count * 4;
  return 1;
}

uint32_t PLATFORM_API simGetModuleFileNameEx(Handle handle, ModuleHandle, char* name,
                                             uint32_t capacity) {
  KernelObject* process = objectOf(handle, Kind::Process);
  SimProcess* target = process ? runningProcess(process->processId) : nullptr;
  if (!target || capacity == 0) return 0;
  // Like the system, a path longer than the buffer is cut to fit.
  size_t length = std::min<size_t>(target->imagePath.size(), capacity - 1);
  std::memcpy(name, target->imagePath.data(), length);
  name[length] = 0;
  return static_cast<uint32_t>(length);
}

const std::map<std::string, void*>& exportedFunctions() {
  static const std::map<std::string, void*> functions = {
      {"kernel32.dll:CreateToolhelp32Snapshot", reinterpret_cast<void*>(simCreateToolhelp32Snapshot)},
      {"kernel32.dll:Process32First", reinterpret_cast<void*>(simProcess32First)},
      {"kernel32.dll:Process32Next", reinterpret_cast<void*>(simProcess32Next)},
      {"psapi.dll:EnumProcesses", reinterpret_cast<void*>(simEnumProcesses)},
      {"psapi.dll:GetModuleFileNameExA", reinterpret_cast<void*>(simGetModuleFileNameEx)},
  };
  return functions;
}

std::string lowerCase(const char* text) {
  std::string lower(text ? text : "");
  for (char& c : lower) c = asciiLower(c);
  return lower;
}

// Library handles are the library's interned name.
std::map<std::string, std::string> g_libraries;

}  // namespace

Handle simOpenTokenHandle() { return newObject(new KernelObject(Kind::Token)); }

ModuleHandle loadLibrary(const char* name) {
  std::string lower = lowerCase(name);
  if (simMachine().missingLibraries.count(lower)) return nullptr;
  if (lower != "kernel32.dll" && lower != "psapi.dll") return nullptr;
  auto inserted = g_libraries.emplace(lower, lower).first;
  return const_cast<char*>(inserted->second.c_str());
}

void* getProcAddress(ModuleHandle module, const char* name) {
  if (!module || simMachine().missingFunctions.count(name ? name : "")) return nullptr;
  auto found = exportedFunctions().find(std::string(static_cast<const char*>(module)) + ":" + name);
  return found == exportedFunctions().end() ? nullptr : found->second;
}

Handle openProcess(uint32_t access, uint32_t processId) {
  SimMachine& sim = simMachine();
  SimProcess* process = runningProcess(processId);
  if (!process) {
    sim.lastError = 87;  // ERROR_INVALID_PARAMETER: no such process
    return nullptr;
  }
  bool query = (access & kProcessQueryAndRead) == kProcessQueryAndRead;
  if (query && process->queryNeedsDebugPrivilege && !privilegeEnabled("SeDebugPrivilege")) {
    sim.lastError = kErrorAccessDeniedCode;
    return nullptr;
  }
  bool allowed = (access & kProcessTerminate) ? process->canOpenForTerminate
                                              : process->canOpenForQuery;
  if (query && !process->canOpenForQuery) allowed = false;
  if (!allowed) {
    sim.lastError = kErrorAccessDeniedCode;
    return nullptr;
  }
  auto* object = new KernelObject(Kind::Process);
  object->processId = processId;
  object->access = access;
  return newObject(object);
}

bool terminateProcess(Handle handle, uint32_t) {
  KernelObject* object = objectOf(handle, Kind::Process);
  if (!object || !(object->access & kProcessTerminate)) return false;
  SimProcess* process = runningProcess(object->processId);
  if (!process || !process->canTerminate) return false;
  process->running = false;
  simMachine().terminated.push_back(process->id);
  return true;
}

void closeHandle(Handle handle) {
  auto found = g_objects.find(handle);
  if (found == g_objects.end()) return;
  if (found->second->kind == Kind::Token) --simMachine().openTokens;
  --simMachine().openKernelHandles;
  delete found->second;
  g_objects.erase(found);
}
