// Fuzz target: the file signature matcher over arbitrary file contents.
// The input is written to one file on the mapped drive and examined by
// matchSignatureFile in report mode; its headers are also read directly and
// mapped with rvaToFilePosition. A small table of any-size records makes the
// pattern reads run on every accepted file, whatever its length.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/pe_matcher.h"
#include "engine/signature_table.h"
#include "fuzz/fuzz_support.h"
#include "platform/file_io.h"
#include "samples/signature_builder.h"
#include "tests/sim/sim_machine.h"

namespace {

const char* const kPath = "C:\\sample.exe";

// Patterns are 20 characters; the array type keeps every literal at that length.
using Pattern = char[21];

SignatureRecord makeRecord(const char* name, int32_t first, const Pattern& firstPattern,
                           int32_t second, const Pattern& secondPattern, int32_t size,
                           int32_t rule) {
  return signatureRecord(name, first, reinterpret_cast<const uint8_t*>(firstPattern), second,
                         reinterpret_cast<const uint8_t*>(secondPattern), size, rule);
}

const Pattern kZeros = {};

// Any-size records with displacements at the entry point, far before and after
// it, at the 32-bit extremes; one per other size rule; one of zero patterns
// that a sparse file matches; the end record.
SignatureRecord g_table[9];

void buildTable() {
  g_table[0] = makeRecord("Fuzz.EntryPoint", 0, "ENTRYPOINTPATTERN-01", 0x40,
                          "SECONDPATTERN-AT-040", 0, 3);
  g_table[1] = makeRecord("Fuzz.Far", -0x1000, "BEFORE-ENTRY-PATTERN", 0x7FFFFFFF,
                          "WRAPPING-PATTERN-MAX", 0, 3);
  g_table[2] = makeRecord("Fuzz.Extremes", INT32_MIN, "INT32-MIN-DISPLACEMT", -1,
                          "MINUS-ONE-DISPLACEMT", 0, 3);
  g_table[3] = makeRecord("Fuzz.Tolerance", 0x100, "TOLERANCE-RULE-FIRST", 0x200,
                          "TOLERANCE-RULE-SECND", 8192, 2);
  g_table[4] = makeRecord("Fuzz.Exact", -20, "EXACT-SIZE-RULE-ONE!", 20, "EXACT-SIZE-RULE-TWO!",
                          2048, 1);
  g_table[5] = makeRecord("Fuzz.NeverRule", 0, kZeros, 0, kZeros, 0, 9);
  g_table[6] = makeRecord("Fuzz.Headers", -0x1000000, kZeros, 0x1000000, kZeros, 0, 3);
  g_table[7] = makeRecord("Fuzz.Zeros", 0x10, kZeros, 0x30, kZeros, 0, 3);
  std::memset(&g_table[8], 0, sizeof g_table[8]);
}

int g_lines = 0;

uint32_t load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void checkMapping(uint32_t rva, const PeLayout& layout) {
  uint32_t position = rvaToFilePosition(rva, layout);
  uint32_t sizeOfHeaders = load32(layout.optionalHeader + 60);
  // Either a position inside the file, the raw RVA, or the headers' end.
  if (position != rva && position != sizeOfHeaders &&
      static_cast<long long>(position) >= layout.fileLength)
    fuzz::fail("rvaToFilePosition gave a position past the end of the file");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  buildTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::setUpMachine();
  useSignatureTable(g_table);
  bindReportChannel(ReportSink{[](const char*) { ++g_lines; }, [](const char*) {}});
  g_lines = 0;
  fuzz::writeHost(fuzz::driveRoot() + "/sample.exe", data, size);

  // Headers read directly, and the mapping of the RVAs the matcher would use.
  int fd = fileOpen(kPath, kOpenReadBinary);
  if (fd < 0) fuzz::fail("cannot open the sample");
  PeLayout layout;
  const bool accepted = readPeLayout(fd, fileLength(fd), &layout) != 0;
  if (accepted) {
    if (layout.sectionCount > kMaxSections) fuzz::fail("more sections accepted than the table holds");
    uint32_t entry = load32(layout.optionalHeader + 16);
    const uint32_t rvas[] = {0, 1, entry, entry + 0x40, entry - 0x1000, entry + 0x7FFFFFFFu,
                             entry + 0x80000000u, entry - 1, 0xFFFFFFFFu,
                             size >= 4 ? load32(data + size - 4) : 0u};
    for (uint32_t rva : rvas) checkMapping(rva, layout);
  }
  fileClose(fd);

  // The matcher in report mode; in memory-check mode for every third length.
  const bool memoryCheck = size % 3 == 0;
  g_session.actionCode = kActionReport;
  g_session.memoryCheckMode = memoryCheck ? 1 : 0;
  int result = matchSignatureFile(kTrojanCheckName, kPath);

  if (result != 0 && result != 1) fuzz::fail("result is neither 0 nor 1");
  if (simMachine().openFiles != 0) fuzz::fail("a file was left open");
  if (g_session.filesInfected != result) fuzz::fail("infected count disagrees with the result");
  if (result && !accepted) fuzz::fail("a file with rejected headers matched");
  if (result && std::strcmp(g_session.statusText, kPath) != 0) fuzz::fail("status does not name the file");
  if (memoryCheck) {
    if (g_session.memoryHit != result) fuzz::fail("memory hit disagrees with the result");
    if (g_lines != 0) fuzz::fail("memory-check mode reported a line");
  } else {
    if (result && g_lines == 0) fuzz::fail("a match in report mode reported nothing");
    if (!result && g_lines != 0) fuzz::fail("a line without a match");
    // A rejected file leaves its path behind; an examined one is cleared.
    if (accepted && g_session.currentFile[0] != 0) fuzz::fail("current file not cleared");
  }
  if (fuzz::readHost(fuzz::driveRoot() + "/sample.exe") !=
      std::string(reinterpret_cast<const char*>(data), size))
    fuzz::fail("report mode changed the file");
  useSignatureTable(nullptr);
  return 0;
}
