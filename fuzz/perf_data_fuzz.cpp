// Fuzzes the reading of the performance data: arbitrary bytes as the answer
// of HKEY_PERFORMANCE_DATA and as the Counters name list. Every read must stay
// inside the buffer (AddressSanitizer checks it: the input is copied into an
// exact-size heap block), and the table never gets more entries than it holds.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "memory/perf_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  // The first four bytes choose the process-id counter index; the fifth byte
  // splits the rest between a name list and a data block.
  uint32_t counterIndex;
  std::memcpy(&counterIndex, data, 4);
  size_t split = size > 5 ? data[4] % (size - 5 + 1) : 0;
  const uint8_t* rest = data + 5;
  size_t restSize = size - 5;

  std::vector<char> names(rest, rest + split);
  PerfCounterNames parsed = parseCounterNames(names.data(), names.size());
  if (parsed.found && std::strlen(parsed.processObjectIndex) >= sizeof parsed.processObjectIndex)
    std::abort();

  std::vector<uint8_t> block(rest + split, rest + restSize);
  PerfProcessEntry table[kPerfTableSize];
  std::memset(table, 0, sizeof table);
  int filled = parseProcessObject(block.data(), block.size(), counterIndex, table);
  if (filled < 0 || filled > kMaxPerfEntries) std::abort();
  for (int i = 0; i < filled; ++i)
    if (table[i].processId == 0) std::abort();  // 0 is always stored as 0xFFFFFFFE
  return 0;
}
