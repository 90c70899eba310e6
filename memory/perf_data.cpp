#include "memory/perf_data.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ascii.h"
#include "platform/little_endian.h"
#include "platform/processes.h"
#include "platform/registry.h"

namespace {

constexpr uint32_t kInitialBufferSize = 51200;
constexpr uint32_t kBufferGrowth = 25600;
// The steps of 25600 bytes take the buffer to about 1 MB; beyond that it
// doubles, so that the largest answer believed is reached in a few more tries.
constexpr int kSteppedTries = 40;
constexpr int kMaxTries = 48;
constexpr uint32_t kMaxBufferSize = 16u << 20;  // an answer this large is not believed

// A bounds-checked view of the returned block.
class ByteView {
 public:
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool need(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  uint32_t load32(uint64_t offset) const { return load32le(data_ + offset); }
  const uint8_t* at(uint64_t offset) const { return data_ + offset; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

bool allDigits(const char* text) {
  if (!*text) return false;
  for (; *text; ++text)
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  return true;
}

// The instance's name converted to ANSI, at most 16 characters kept.
void instanceName(const ByteView& view, uint64_t nameAt, PerfProcessEntry* entry) {
  uint16_t wide[260];
  int length = 0;
  while (length < 259 && view.need(nameAt + 2 * length, 2)) {
    const uint8_t* p = view.at(nameAt + 2 * length);
    wide[length] = static_cast<uint16_t>(p[0] | (p[1] << 8));
    if (!wide[length]) break;
    ++length;
  }
  char converted[260];
  if (wideToAnsi(wide, length, converted, sizeof converted) == 0) {
    std::memcpy(entry->name, "unknown", 8);
  } else if (std::strlen(converted) <= sizeof entry->name) {
    std::memcpy(entry->name, converted, std::strlen(converted));
  }
}

// Queries the performance data of one object into `buffer`. After each
// ERROR_MORE_DATA the buffer grows from its own capacity: the size the query
// leaves behind is not defined for this key, and trusting it could shrink the
// buffer or ask for ever. The size of the answer, 0 when there is none.
uint32_t queryPerformanceObject(const char* objectIndex, std::vector<uint8_t>* buffer) {
  uint32_t capacity = kInitialBufferSize;
  for (int tries = 1; tries <= kMaxTries && capacity <= kMaxBufferSize; ++tries) {
    buffer->assign(capacity, 0);
    uint32_t size = capacity;
    long result = regQueryValueEx(PLATFORM_HKEY_PERFORMANCE_DATA, objectIndex, nullptr,
                                  buffer->data(), &size);
    if (result == kErrorSuccess) return size < capacity ? size : capacity;
    if (result != kErrorMoreData) return 0;
    capacity = tries < kSteppedTries ? capacity + kBufferGrowth : capacity * 2;
  }
  return 0;
}

}  // namespace

PerfCounterNames parseCounterNames(const char* list, size_t size) {
  PerfCounterNames names = {};
  bool haveObject = false, haveCounter = false;
  const char* previous = "";
  size_t at = 0;
  while (at < size && list[at]) {
    const char* text = list + at;
    size_t length = strnlen(text, size - at);
    if (at + length >= size) break;  // unterminated last string
    if (asciiEqualNoCase(text, "process") && allDigits(previous) &&
        std::strlen(previous) < sizeof names.processObjectIndex) {
      std::snprintf(names.processObjectIndex, sizeof names.processObjectIndex, "%s", previous);
      haveObject = true;
    } else if (asciiEqualNoCase(text, "id process") && allDigits(previous)) {
      names.processIdCounter = static_cast<uint32_t>(std::strtoul(previous, nullptr, 10));
      haveCounter = true;
    }
    previous = text;
    at += length + 1;
  }
  names.found = haveObject && haveCounter;
  return names;
}

int parseProcessObject(const uint8_t* data, size_t size, uint32_t processIdCounter,
                       PerfProcessEntry* table) {
  ByteView view(data, size);
  static const uint8_t kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
  if (!view.need(0, 28) || std::memcmp(data, kSignature, sizeof kSignature) != 0) return 0;
  const uint64_t object = view.load32(24);
  if (!view.need(object, 44)) return 0;
  const uint32_t definitionLength = view.load32(object + 4);
  const uint32_t headerLength = view.load32(object + 8);
  const uint32_t counters = view.load32(object + 32);
  const int32_t instances = static_cast<int32_t>(view.load32(object + 40));

  bool haveCounter = false;
  uint32_t counterOffset = 0;
  for (uint32_t i = 0; i < counters; ++i) {
    uint64_t definition = object + headerLength + 40ull * i;
    if (!view.need(definition, 40)) break;
    if (view.load32(definition + 4) == processIdCounter) {
      counterOffset = view.load32(definition + 36);
      haveCounter = true;
      break;
    }
  }
  // Without the process-id counter no instance can name a process.
  if (!haveCounter || instances <= 0) return 0;

  int count = instances > kMaxPerfEntries ? kMaxPerfEntries : instances;
  uint64_t instance = object + definitionLength;
  int filled = 0;
  for (; filled < count; ++filled) {
    if (!view.need(instance, 20)) break;
    const uint64_t block = instance + view.load32(instance);
    if (!view.need(block, 4) || !view.need(block + counterOffset, 4)) break;
    PerfProcessEntry& entry = table[filled];
    instanceName(view, instance + view.load32(instance + 16), &entry);
    uint32_t id = view.load32(block + counterOffset);
    entry.processId = id == 0 ? 0xFFFFFFFEu : id;
    uint32_t blockLength = view.load32(block);
    if (blockLength == 0) {  // the next instance would be this one again
      ++filled;
      break;
    }
    instance = block + blockLength;
  }
  return filled;
}

int readPerfProcessTable(PerfProcessEntry* table) {
  char keyPath[128];
  std::snprintf(keyPath, sizeof keyPath, "%s\\%03x",
                "software\\microsoft\\windows nt\\currentversion\\perflib", 9);
  PerfCounterNames names = {};
  {
    ScopedRegKey key;
    if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, keyPath, kKeyRead, key.receive()) != kErrorSuccess)
      return 0;
    uint32_t size = 0;
    if (regQueryValueEx(key.get(), "Counters", nullptr, nullptr, &size) != kErrorSuccess) return 0;
    std::vector<char> list(size + 2, 0);
    if (regQueryValueEx(key.get(), "Counters", nullptr, reinterpret_cast<uint8_t*>(list.data()),
                        &size) != kErrorSuccess)
      return 0;
    names = parseCounterNames(list.data(), list.size());
  }
  if (!names.found) return 0;

  std::vector<uint8_t> buffer;
  uint32_t size = queryPerformanceObject(names.processObjectIndex, &buffer);
  regCloseKey(PLATFORM_HKEY_PERFORMANCE_DATA);
  if (size == 0) return 0;
  return parseProcessObject(buffer.data(), size, names.processIdCounter, table);
}
