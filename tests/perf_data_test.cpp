// Reading the process object of the performance data: the counter-name list,
// the published block layouts, and data that lies about its own offsets.
#include "memory/perf_data.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/perf_data_builder.h"
#include "tests/support/scan_fixture.h"

using namespace perftest;

namespace {

PerfCounterNames namesOf(const std::vector<uint8_t>& list) {
  return parseCounterNames(reinterpret_cast<const char*>(list.data()), list.size());
}

std::string nameOf(const PerfProcessEntry& entry) {
  return std::string(entry.name, strnlen(entry.name, sizeof entry.name));
}

struct Parsed {
  int count;
  std::vector<PerfProcessEntry> table;
};

Parsed parse(const std::vector<uint8_t>& data, uint32_t idCounter = kIdProcessCounter) {
  Parsed parsed{0, std::vector<PerfProcessEntry>(kPerfTableSize)};
  std::memset(parsed.table.data(), 0, parsed.table.size() * sizeof(PerfProcessEntry));
  parsed.count = parseProcessObject(data.data(), data.size(), idCounter, parsed.table.data());
  return parsed;
}

ProcessObject threeProcesses() {
  ProcessObject objectLayout;
  objectLayout.instances = {{"Idle", 0}, {"explorer", 1204}, {"svchost", 880}};
  return objectLayout;
}

}  // namespace

TEST(PerfCounterNames, FindsTheProcessObjectAndIdCounterIgnoringCase) {
  PerfCounterNames names = namesOf(standardCounterNames());
  EXPECT_TRUE(names.found);
  EXPECT_STREQ(names.processObjectIndex, "230");
  EXPECT_EQ(names.processIdCounter, 784u);

  names = namesOf(counterNameList({"1", "1847", "230", "PROCESS", "784", "id process"}));
  EXPECT_TRUE(names.found);
  EXPECT_STREQ(names.processObjectIndex, "230");
  EXPECT_EQ(names.processIdCounter, 784u);

  // Names that merely contain the words are other counters.
  names = namesOf(counterNameList({"230", "Processor", "786", "Creating Process ID", "784",
                                   "ID Process"}));
  EXPECT_FALSE(names.found);
}

TEST(PerfCounterNames, LaterOccurrenceReplacesEarlierAndBothNamesAreNeeded) {
  PerfCounterNames names = namesOf(
      counterNameList({"230", "Process", "784", "ID Process", "1230", "Process", "1784", "ID Process"}));
  EXPECT_TRUE(names.found);
  EXPECT_STREQ(names.processObjectIndex, "1230");
  EXPECT_EQ(names.processIdCounter, 1784u);

  EXPECT_FALSE(namesOf(counterNameList({"1", "System", "230", "Process"})).found);
  EXPECT_FALSE(namesOf(counterNameList({"1", "System", "784", "ID Process"})).found);
  EXPECT_FALSE(namesOf(counterNameList({})).found);
}

TEST(PerfCounterNames, UnterminatedListIsNotReadPastItsEnd) {
  std::vector<uint8_t> list = counterNameList({"230", "Process", "784", "ID Process"});
  // Cut inside "ID Process": its last string has no terminator within the size.
  std::vector<uint8_t> cut(list.begin(), list.end() - 4);
  PerfCounterNames names = namesOf(cut);
  EXPECT_FALSE(names.found);
  EXPECT_STREQ(names.processObjectIndex, "230");
}

TEST(PerfProcessObject, ReadsNamesAndIdsOfEveryInstance) {
  Parsed parsed = parse(buildPerfData(threeProcesses()));
  ASSERT_EQ(parsed.count, 3);
  EXPECT_EQ(nameOf(parsed.table[0]), "Idle");
  EXPECT_EQ(parsed.table[0].processId, 0xFFFFFFFEu);  // id 0 is never a process to open
  EXPECT_EQ(nameOf(parsed.table[1]), "explorer");
  EXPECT_EQ(parsed.table[1].processId, 1204u);
  EXPECT_EQ(nameOf(parsed.table[2]), "svchost");
  EXPECT_EQ(parsed.table[2].processId, 880u);
  EXPECT_EQ(parsed.table[3].processId, 0u);
}

TEST(PerfProcessObject, UsesTheCounterDefinitionWhoseTitleIsTheIdCounter) {
  ProcessObject objectLayout = threeProcesses();
  objectLayout.counterBlockSize = 48;
  objectLayout.counters = {{kProcessorTimeCounter, 8}, {786, 16}, {140, 24}, {kIdProcessCounter, 40}};
  std::vector<uint8_t> data = buildPerfData(objectLayout);
  Parsed parsed = parse(data);
  ASSERT_EQ(parsed.count, 3);
  EXPECT_EQ(parsed.table[1].processId, 1204u);

  // The object's own header length places the definitions, not a fixed size.
  objectLayout.counters = {{kIdProcessCounter, 40}};
  Layout layout;
  data = buildPerfData(objectLayout, &layout);
  // Move the definitions 40 bytes on: a dummy definition is put first.
  std::vector<uint8_t> moved(data.begin(), data.begin() + layout.firstCounter);
  moved.insert(moved.end(), kCounterDefinitionSize, 0);
  put32(moved, layout.firstCounter + 4, kIdProcessCounter);
  put32(moved, layout.firstCounter + 36, 16);  // would read the wrong field
  moved.insert(moved.end(), data.begin() + layout.firstCounter, data.end());
  put32(moved, layout.object + 4, get32(data, layout.object + 4) + kCounterDefinitionSize);
  put32(moved, layout.object + 8, kObjectHeaderSize + kCounterDefinitionSize);
  parsed = parse(moved);
  ASSERT_EQ(parsed.count, 3);
  EXPECT_EQ(parsed.table[2].processId, 880u);
}

TEST(PerfProcessObject, NamesOfMoreThanSixteenCharactersAreLeftEmpty) {
  ProcessObject objectLayout;
  objectLayout.instances = {{"abcdefghijklmnop", 10}, {"abcdefghijklmnopq", 11}, {"", 12}};
  Parsed parsed = parse(buildPerfData(objectLayout));
  ASSERT_EQ(parsed.count, 3);
  EXPECT_EQ(nameOf(parsed.table[0]), "abcdefghijklmnop");
  EXPECT_EQ(parsed.table[1].name[0], 0);
  EXPECT_EQ(parsed.table[1].processId, 11u);
  EXPECT_EQ(parsed.table[2].name[0], 0);
}

TEST(PerfProcessObject, AtMost254InstancesAreRead) {
  ProcessObject objectLayout;
  for (uint32_t i = 0; i < 300; ++i) objectLayout.instances.push_back({"p" + std::to_string(i), 1000 + i});
  Parsed parsed = parse(buildPerfData(objectLayout));
  ASSERT_EQ(parsed.count, kMaxPerfEntries);
  EXPECT_EQ(parsed.table[253].processId, 1253u);
  EXPECT_EQ(parsed.table[254].processId, 0u);  // the last table entry stays zero
}

TEST(PerfProcessObject, RefusesDataWithoutUsableObject) {
  std::vector<uint8_t> good = buildPerfData(threeProcesses());

  std::vector<uint8_t> signature = good;
  signature[2] = 'X';
  EXPECT_EQ(parse(signature).count, 0);

  EXPECT_EQ(parse(good, 9999).count, 0) << "no counter carries the process id";

  ProcessObject objectLayout = threeProcesses();
  objectLayout.overrideInstanceCount = true;
  objectLayout.instanceCount = -1;  // PERF_NO_INSTANCES
  EXPECT_EQ(parse(buildPerfData(objectLayout)).count, 0);
  objectLayout.instanceCount = 0;
  EXPECT_EQ(parse(buildPerfData(objectLayout)).count, 0);

  std::vector<uint8_t> header = good;
  put32(header, 24, static_cast<uint32_t>(good.size()));
  EXPECT_EQ(parse(header).count, 0);
  put32(header, 24, 0xFFFFFFF0u);
  EXPECT_EQ(parse(header).count, 0);

  EXPECT_EQ(parse(std::vector<uint8_t>(good.begin(), good.begin() + 20)).count, 0);
  EXPECT_EQ(parseProcessObject(nullptr, 0, kIdProcessCounter, parse(good).table.data()), 0);
}

TEST(PerfProcessObject, OffsetsPointingOutsideTheBlockStopTheReading) {
  Layout layout;
  std::vector<uint8_t> good = buildPerfData(threeProcesses(), &layout);

  // More instances claimed than present: the ones present are read.
  std::vector<uint8_t> claimed = good;
  put32(claimed, layout.object + 40, 50);
  EXPECT_EQ(parse(claimed).count, 3);

  // The second instance's length sends its counter block past the end.
  std::vector<uint8_t> instanceLength = good;
  put32(instanceLength, layout.instanceAt[1], 0x7FFFFFF0u);
  EXPECT_EQ(parse(instanceLength).count, 1);

  // The first counter block's length leaps past the end.
  std::vector<uint8_t> blockLength = good;
  put32(blockLength, layout.blockAt[0], 0xFFFFFF00u);
  EXPECT_EQ(parse(blockLength).count, 1);

  // The process-id counter lies beyond the data.
  std::vector<uint8_t> counterOffset = good;
  put32(counterOffset, layout.firstCounter + kCounterDefinitionSize + 36, 0xFFFFFFF8u);
  EXPECT_EQ(parse(counterOffset).count, 0);

  // A name offset beyond the data gives an empty name but keeps the id.
  std::vector<uint8_t> nameOffset = good;
  put32(nameOffset, layout.instanceAt[1] + 16, 0x40000000u);
  Parsed parsed = parse(nameOffset);
  ASSERT_EQ(parsed.count, 3);
  EXPECT_EQ(parsed.table[1].name[0], 0);
  EXPECT_EQ(parsed.table[1].processId, 1204u);

  // Data cut inside the third instance.
  std::vector<uint8_t> cut(good.begin(), good.begin() + layout.instanceAt[2] + kInstanceHeaderSize + 6);
  parsed = parse(cut);
  EXPECT_EQ(parsed.count, 2);

  // A definition count far beyond the data.
  std::vector<uint8_t> counters = good;
  put32(counters, layout.object + 32, 0x10000000u);
  EXPECT_EQ(parse(counters).count, 3);
}

class PerfTableRead : public ScanFixture {};

TEST_F(PerfTableRead, MissingNamesKeyOrDataGiveAnEmptyTable) {
  SimMachine& sim = simMachine();
  std::vector<PerfProcessEntry> table(kPerfTableSize);
  sim.performanceData = buildPerfData(threeProcesses());
  EXPECT_EQ(readPerfProcessTable(table.data()), 0) << "no Perflib\\009 key";
  EXPECT_TRUE(sim.performanceQuerySizes.empty());

  installPerformanceData(sim, threeProcesses());
  sim.performanceDataError = 5;
  EXPECT_EQ(readPerfProcessTable(table.data()), 0);
  sim.performanceDataError = 0;
  sim.performanceData.clear();
  EXPECT_EQ(readPerfProcessTable(table.data()), 0) << "empty answer";

  installPerformanceData(sim, threeProcesses());
  sim.registry[kPerflibKey].values[0].data = counterNameList({"230", "Process"});
  EXPECT_EQ(readPerfProcessTable(table.data()), 0) << "no id counter in the names";
  EXPECT_EQ(sim.openKeys, 0);
}

// The size a query answering ERROR_MORE_DATA leaves is undefined for the
// performance data: whatever it is, the buffer grows from its own capacity in
// the usual steps and the answer is read.
TEST_F(PerfTableRead, ArbitrarySizeLeftByMoreDataNeitherShrinksNorSpins) {
  SimMachine& sim = simMachine();
  ProcessObject objectLayout = threeProcesses();
  objectLayout.trailingBytes = 105000;  // needs a buffer of 128000 bytes
  installPerformanceData(sim, objectLayout);
  ASSERT_GT(sim.performanceData.size(), 102400u);
  ASSERT_LE(sim.performanceData.size(), 128000u);
  for (int64_t left : {int64_t{0}, int64_t{100}, int64_t{60000}, int64_t{0xFFFFFFF0}}) {
    SCOPED_TRACE(left);
    sim.performanceSizeOnMoreData = left;
    sim.performanceQuerySizes.clear();
    std::vector<PerfProcessEntry> table(kPerfTableSize);
    ASSERT_EQ(readPerfProcessTable(table.data()), 3);
    EXPECT_EQ(table[1].processId, 1204u);
    EXPECT_EQ(sim.performanceQuerySizes, (std::vector<uint32_t>{51200, 76800, 102400, 128000}));
  }
}

TEST_F(PerfTableRead, AnswerThatNeverFitsEndsAfterABoundedNumberOfGrowingTries) {
  SimMachine& sim = simMachine();
  installPerformanceData(sim, threeProcesses());
  sim.performanceDataError = kErrorMoreData;
  std::vector<PerfProcessEntry> table(kPerfTableSize);
  EXPECT_EQ(readPerfProcessTable(table.data()), 0);
  const std::vector<uint32_t>& sizes = sim.performanceQuerySizes;
  ASSERT_GE(sizes.size(), 4u);
  EXPECT_LT(sizes.size(), 64u);
  EXPECT_EQ(std::vector<uint32_t>(sizes.begin(), sizes.begin() + 4),
            (std::vector<uint32_t>{51200, 76800, 102400, 128000}));
  for (size_t i = 1; i < sizes.size(); ++i) EXPECT_GT(sizes[i], sizes[i - 1]) << i;
  EXPECT_EQ(sim.openKeys, 0);
}
