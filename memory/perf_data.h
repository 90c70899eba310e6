// Reading the process object of the registry's performance data.
#pragma once
#include <cstddef>
#include <cstdint>

// One process as the performance data describes it.
struct PerfProcessEntry {
  uint32_t processId;  // 0 is stored as 0xFFFFFFFE
  char name[16];       // ANSI instance name when it has at most 16 characters
};
static_assert(sizeof(PerfProcessEntry) == 20, "a performance-data entry is 20 bytes");

constexpr int kPerfTableSize = 255;
constexpr int kMaxPerfEntries = 254;

// Indices read from the English counter names (Perflib\009 "Counters").
struct PerfCounterNames {
  char processObjectIndex[16];  // decimal text of the "process" object's index
  uint32_t processIdCounter;    // index of the "id process" counter
  bool found;                   // both names were present
};

// Reads the REG_MULTI_SZ list of alternating indices and names.
PerfCounterNames parseCounterNames(const char* list, size_t size);

// Fills `table` from a PERF_DATA_BLOCK answer; returns the entries filled.
// Every offset is checked against `size`: data that points outside the block,
// a negative instance count or a missing process-id counter end the reading.
int parseProcessObject(const uint8_t* data, size_t size, uint32_t processIdCounter,
                       PerfProcessEntry* table);

// Reads the counter names and the performance data of the process object
// from the registry into `table` (zeroed, kPerfTableSize entries).
int readPerfProcessTable(PerfProcessEntry* table);
