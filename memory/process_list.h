// The list of running processes as the memory stage and the process-status
// termination method build it.
#pragma once
#include <cstdint>

// One listed process; a heap record of a singly linked list.
struct ProcessNode {
  uint32_t processId;
  char imagePath[340];
  ProcessNode* next;
};

// Owns its nodes and frees them all when it goes out of scope.
class ProcessList {
 public:
  ProcessList() = default;
  ~ProcessList() { clear(); }
  ProcessList(const ProcessList&) = delete;
  ProcessList& operator=(const ProcessList&) = delete;
  // Appends a zero-filled node at the tail; false when it cannot be allocated.
  bool append(uint32_t processId, const char* imagePath);
  void clear();
  ProcessNode* head() const { return head_; }

 private:
  ProcessNode* head_ = nullptr;
  ProcessNode* tail_ = nullptr;
};

enum class ListingResult { Listed, Unavailable, OutOfMemory };

// Lists the processes through the process-status library ("psapi.dll"): each
// process opened for reading gives a node with its module path. With
// `debugPrivilegeOnDenied`, a process that refuses the open with access denied
// is opened again after the debug privilege has been enabled.
ListingResult listProcessesPsapi(ProcessList* list, bool debugPrivilegeOnDenied);

// Lists the processes through the tool-help snapshot of "Kernel32.dll", whose
// entries carry the full image path on the 9x family.
ListingResult listProcessesToolhelp(ProcessList* list);

constexpr int kMaxListedProcesses = 1024;
