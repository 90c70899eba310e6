// Builds answers of HKEY_PERFORMANCE_DATA for the process object in the
// 32-bit layouts the system publishes, and the English counter-name list, so
// tests can feed the simulated machine well-formed and damaged data alike.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/sim/sim_machine.h"

namespace perftest {

constexpr uint32_t kProcessObjectIndex = 230;
constexpr uint32_t kIdProcessCounter = 784;
constexpr uint32_t kProcessorTimeCounter = 6;

constexpr uint32_t kDataBlockSize = 88;     // PERF_DATA_BLOCK without the system name
constexpr uint32_t kObjectHeaderSize = 64;  // PERF_OBJECT_TYPE
constexpr uint32_t kCounterDefinitionSize = 40;
constexpr uint32_t kInstanceHeaderSize = 24;  // PERF_INSTANCE_DEFINITION

inline void put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  if (bytes.size() < at + 4) bytes.resize(at + 4, 0);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint32_t get32(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<uint32_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

inline void putWide(std::vector<uint8_t>& bytes, size_t at, const std::string& text) {
  for (size_t i = 0; i <= text.size(); ++i) {
    uint16_t c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    bytes[at + 2 * i] = static_cast<uint8_t>(c);
    bytes[at + 2 * i + 1] = static_cast<uint8_t>(c >> 8);
  }
}

struct Counter {
  uint32_t titleIndex;
  uint32_t offset;  // within the counter block
};

struct Instance {
  std::string name;
  uint32_t processId;
};

struct ProcessObject {
  std::vector<Counter> counters = {{kProcessorTimeCounter, 8}, {kIdProcessCounter, 16}};
  std::vector<Instance> instances;
  bool overrideInstanceCount = false;
  int32_t instanceCount = 0;     // NumInstances when overridden
  uint32_t counterBlockSize = 24;
  uint32_t trailingBytes = 0;    // after the last instance, to make a large answer
};

// Where the builder put things, for tests that damage the data afterwards.
struct Layout {
  uint32_t object = 0;
  uint32_t firstCounter = 0;
  std::vector<uint32_t> instanceAt;
  std::vector<uint32_t> blockAt;
};

inline std::vector<uint8_t> buildPerfData(const ProcessObject& objectLayout, Layout* layout = nullptr) {
  const std::string systemName = "SIMHOST";
  const uint32_t dataHeader = kDataBlockSize + 16;  // the system name, padded
  std::vector<uint8_t> bytes(dataHeader, 0);
  putWide(bytes, 0, "PERF");  // its terminator is overwritten by LittleEndian
  put32(bytes, 8, 1);        // LittleEndian
  put32(bytes, 12, 1);       // Version
  put32(bytes, 24, dataHeader);
  put32(bytes, 28, 1);  // NumObjectTypes
  put32(bytes, 80, static_cast<uint32_t>(2 * (systemName.size() + 1)));
  put32(bytes, 84, kDataBlockSize);
  putWide(bytes, kDataBlockSize, systemName);

  const uint32_t object = dataHeader;
  const uint32_t definitionLength =
      kObjectHeaderSize + kCounterDefinitionSize * static_cast<uint32_t>(objectLayout.counters.size());
  bytes.resize(object + definitionLength, 0);
  put32(bytes, object + 4, definitionLength);
  put32(bytes, object + 8, kObjectHeaderSize);
  put32(bytes, object + 12, kProcessObjectIndex);
  put32(bytes, object + 32, static_cast<uint32_t>(objectLayout.counters.size()));
  put32(bytes, object + 40,
        static_cast<uint32_t>(objectLayout.overrideInstanceCount
                                  ? objectLayout.instanceCount
                                  : static_cast<int32_t>(objectLayout.instances.size())));
  for (size_t i = 0; i < objectLayout.counters.size(); ++i) {
    uint32_t definition = object + kObjectHeaderSize + kCounterDefinitionSize * static_cast<uint32_t>(i);
    put32(bytes, definition, kCounterDefinitionSize);
    put32(bytes, definition + 4, objectLayout.counters[i].titleIndex);
    put32(bytes, definition + 32, 4);  // CounterSize
    put32(bytes, definition + 36, objectLayout.counters[i].offset);
  }
  uint32_t idOffset = 0;
  for (const Counter& counter : objectLayout.counters)
    if (counter.titleIndex == kIdProcessCounter) idOffset = counter.offset;

  if (layout) {
    layout->object = object;
    layout->firstCounter = object + kObjectHeaderSize;
  }
  uint32_t at = object + definitionLength;
  for (const Instance& instance : objectLayout.instances) {
    uint32_t nameBytes = static_cast<uint32_t>(2 * (instance.name.size() + 1));
    uint32_t byteLength = kInstanceHeaderSize + ((nameBytes + 7) & ~7u);
    bytes.resize(at + byteLength + objectLayout.counterBlockSize, 0);
    put32(bytes, at, byteLength);
    put32(bytes, at + 16, kInstanceHeaderSize);
    put32(bytes, at + 20, nameBytes);
    putWide(bytes, at + kInstanceHeaderSize, instance.name);
    uint32_t block = at + byteLength;
    put32(bytes, block, objectLayout.counterBlockSize);
    if (idOffset + 4 <= objectLayout.counterBlockSize) put32(bytes, block + idOffset, instance.processId);
    if (layout) {
      layout->instanceAt.push_back(at);
      layout->blockAt.push_back(block);
    }
    at = block + objectLayout.counterBlockSize;
  }
  bytes.resize(at + objectLayout.trailingBytes, 0);
  put32(bytes, object, static_cast<uint32_t>(bytes.size()) - object);  // TotalByteLength
  put32(bytes, 20, static_cast<uint32_t>(bytes.size()));
  return bytes;
}

// The REG_MULTI_SZ list of alternating indices and names, ending with an
// empty string.
inline std::vector<uint8_t> counterNameList(const std::vector<std::string>& strings) {
  std::vector<uint8_t> list;
  for (const std::string& text : strings) {
    list.insert(list.end(), text.begin(), text.end());
    list.push_back(0);
  }
  list.push_back(0);
  return list;
}

inline std::vector<uint8_t> standardCounterNames() {
  return counterNameList({"1", "1847", "2", "System", "4", "Memory", "6", "% Processor Time",
                          std::to_string(kProcessObjectIndex), "Process",
                          std::to_string(kIdProcessCounter), "ID Process", "786",
                          "Creating Process ID"});
}

constexpr const char* kPerflibKey = "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PERFLIB\\009";

// Installs the counter names and the process object's answer.
inline void installPerformanceData(SimMachine& sim, const ProcessObject& objectLayout) {
  SimRegistryValue counters;
  counters.name = "Counters";
  counters.type = 7;  // REG_MULTI_SZ
  counters.data = standardCounterNames();
  sim.registry[kPerflibKey].values = {counters};
  sim.performanceData = buildPerfData(objectLayout);
}

}  // namespace perftest
