// Processes: run-time loaded libraries, the tool-help snapshot and
// process-status functions, opening and terminating processes.
#pragma once
#include "platform/scoped_handle.h"
#include "platform/system.h"
#include "platform/types.h"

#ifdef _WIN32
#define PLATFORM_API __stdcall
#else
#define PLATFORM_API
#endif

// LoadLibraryA / GetProcAddress: optional system functions are looked up by
// name at run time; null when missing.
ModuleHandle loadLibrary(const char* name);
void* getProcAddress(ModuleHandle module, const char* name);

// PROCESSENTRY32 as the 32-bit system lays it out: 296 bytes.
#pragma pack(push, 4)
struct ProcessEntry32 {
  uint32_t size;
  uint32_t usage;
  uint32_t processId;
  uint32_t defaultHeapId;
  uint32_t moduleId;
  uint32_t threads;
  uint32_t parentProcessId;
  int32_t priorityClassBase;
  uint32_t flags;
  char exeFile[260];
};
#pragma pack(pop)
static_assert(sizeof(ProcessEntry32) == 296, "PROCESSENTRY32 is 296 bytes");
constexpr uint32_t kSnapProcess = 2;

// The signatures of the functions looked up by name.
using CreateToolhelp32SnapshotFn = Handle(PLATFORM_API*)(uint32_t flags, uint32_t processId);
using Process32Fn = int(PLATFORM_API*)(Handle snapshot, ProcessEntry32* entry);
using EnumProcessesFn = int(PLATFORM_API*)(uint32_t* ids, uint32_t bytes, uint32_t* bytesReturned);
using GetModuleFileNameExFn = uint32_t(PLATFORM_API*)(Handle process, ModuleHandle module,
                                                      char* name, uint32_t capacity);

constexpr uint32_t kProcessTerminate = 0x0001;
constexpr uint32_t kProcessQueryAndRead = 0x0410;      // QUERY_INFORMATION | VM_READ
constexpr uint32_t kProcessTerminateAndQuery = 0x0401; // TERMINATE | QUERY_INFORMATION
constexpr uint32_t kErrorAccessDeniedCode = 5;

// OpenProcess without inheritance; null on failure (getLastError tells why).
Handle openProcess(uint32_t access, uint32_t processId);
bool terminateProcess(Handle process, uint32_t exitCode);

// Kernel objects: processes, snapshots, tokens (closed with closeHandle). Null
// and INVALID_HANDLE_VALUE hold nothing.
struct KernelHandleTraits {
  using Value = Handle;
  static Value empty() { return nullptr; }
  static bool isOpen(Value handle) { return handle && handle != PLATFORM_INVALID_HANDLE; }
  static long close(Value handle) {
    closeHandle(handle);
    return 0;
  }
};
using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;

// WideCharToMultiByte to the ANSI code page of at most `length` UTF-16 units
// (stopping at a NUL); the number of bytes written including the terminator,
// 0 on failure.
int wideToAnsi(const uint16_t* text, int length, char* out, int capacity);
