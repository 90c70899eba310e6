// The table tool as the build runs it before embedding a table
// (`sigtable validate --quiet FILE`, `sigtable validate-uu --quiet FILE`): a
// broken table must fail the check with the file and the fault named, a sound
// one must pass without a word.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/res_file.h"
#include "tools/sigtable_stats.h"

#ifndef DRENVALISK_SIGTABLE_BINARY
#error "DRENVALISK_SIGTABLE_BINARY must name the built table tool"
#endif

namespace {

class SigtableToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/drenvalisk-sigtable-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    for (const std::string& file : written_) unlink(file.c_str());
    rmdir(dir_.c_str());
  }

  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    written_.push_back(path);
    return path;
  }

  std::string dir_;
  std::vector<std::string> written_;
};

// The first three records of the shipped table and an end record.
std::vector<uint8_t> smallTable() {
  std::vector<uint8_t> table = readRes("signatures.dat");
  table.resize(4 * 108);
  std::fill(table.begin() + 3 * 108, table.end(), 0);
  return table;
}

struct Fault {
  const char* what;
  void (*apply)(std::vector<uint8_t>&);
  const char* message;  // the error line after "FILE: error: "
};

const Fault kTableFaults[] = {
    {"no end record", [](std::vector<uint8_t>& t) { t.resize(3 * 108); },
     "no end record (a record whose name starts with a zero byte)"},
    {"partial record", [](std::vector<uint8_t>& t) { t.resize(t.size() - 8); },
     "length 424 is not a multiple of 108 (100 bytes left over)"},
    {"end record not last", [](std::vector<uint8_t>& t) { t[1 * 108] = 0; },
     "record 1: end record is followed by 2 more record(s)"},
    {"name without NUL", [](std::vector<uint8_t>& t) { std::fill(t.begin(), t.begin() + 50, 'A'); },
     "record 0: name is not NUL-terminated"},
    {"unknown size rule", [](std::vector<uint8_t>& t) { t[2 * 108 + 104] = 9; },
     "record 2: unknown size rule 9"},
    {"empty file", [](std::vector<uint8_t>& t) { t.clear(); },
     "no end record (a record whose name starts with a zero byte)"},
};

}  // namespace

TEST_F(SigtableToolTest, TheShippedTablesPassSilently) {
  for (const char* check : {"validate", "validate-uu"}) {
    SCOPED_TRACE(check);
    const std::string table = std::string(DRENVALISK_SOURCE_DIR) + "/res/" +
                              (check == std::string("validate") ? "signatures.dat" : "uu_signature.dat");
    ChildOutcome run = runChild(DRENVALISK_SIGTABLE_BINARY, {check, "--quiet", table});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(SigtableToolTest, ABrokenTableFailsWithTheFileAndTheFault) {
  for (const Fault& fault : kTableFaults) {
    SCOPED_TRACE(fault.what);
    std::vector<uint8_t> table = smallTable();
    fault.apply(table);
    const std::string path = write("signatures.dat", table);

    ChildOutcome run = runChild(DRENVALISK_SIGTABLE_BINARY, {"validate", "--quiet", path});

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> lines = splitLines(run.err);
    EXPECT_NE(std::find(lines.begin(), lines.end(), path + ": error: " + fault.message), lines.end())
        << run.err;
    EXPECT_EQ(lastLine(run.err), path + ": INVALID");
  }
}

TEST_F(SigtableToolTest, ABrokenUuencodedTableFailsWithTheFault) {
  const Fault faults[] = {
      {"partial record", [](std::vector<uint8_t>& t) { t.pop_back(); },
       "length 169 is not a positive multiple of 170"},
      {"empty file", [](std::vector<uint8_t>& t) { t.clear(); },
       "length 0 is not a positive multiple of 170"},
      {"name without NUL", [](std::vector<uint8_t>& t) { std::fill(t.begin(), t.begin() + 25, 'N'); },
       "record 0: name is not NUL-terminated"},
      {"pattern longer than its field", [](std::vector<uint8_t>& t) { t[31] = 101; t[32] = 0; },
       "record 0: pattern length 101 exceeds 100"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    std::vector<uint8_t> table = readRes("uu_signature.dat");
    fault.apply(table);
    const std::string path = write("uu_signature.dat", table);

    ChildOutcome run = runChild(DRENVALISK_SIGTABLE_BINARY, {"validate-uu", "--quiet", path});

    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> lines = splitLines(run.err);
    EXPECT_NE(std::find(lines.begin(), lines.end(), path + ": error: " + fault.message), lines.end())
        << run.err;
    EXPECT_EQ(lastLine(run.err), path + ": INVALID");
  }
}

TEST_F(SigtableToolTest, AMissingTableIsNamed) {
  const std::string path = dir_ + "/none.dat";
  ChildOutcome run = runChild(DRENVALISK_SIGTABLE_BINARY, {"validate", "--quiet", path});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(lastLine(run.err), "sigtable: cannot read " + path);
}
