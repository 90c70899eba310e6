// Turns a real, runnable executable into one that a signature record detects:
// the record's two patterns are written into a section the program never
// touches, a jump to the original entry point is placed there as the new
// entry point, and the file is padded to the record's exact size. The program
// still runs as before; only its file now matches the record.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/signature_record.h"

// Where makeRunnableSample put things (file positions and RVAs).
struct RunnableLayout {
  uint32_t entryPoint = 0;        // new AddressOfEntryPoint (the jump)
  uint32_t originalEntry = 0;     // where the jump goes
  uint32_t entryPosition = 0;     // file position of the jump
  uint32_t firstPosition = 0;     // file position of the first pattern
  uint32_t secondPosition = 0;    // file position of the second pattern
};

constexpr const char* kPadSectionName = ".pad";

// The executable `exe` (PE32, or PE32+ whose last two data directories are
// empty) rewritten to carry `record`'s patterns inside its section named
// `padSection`, with exactly record.fileSize bytes. Empty when the record
// does not fit: the file is larger than the record's size, the patterns'
// spread exceeds the section, or the headers are not ones this can adjust.
std::vector<uint8_t> makeRunnableSample(const std::vector<uint8_t>& exe,
                                        const SignatureRecord& record,
                                        RunnableLayout* layout = nullptr,
                                        const char* padSection = kPadSectionName);

// The first record of `table` (table order, up to the record whose name starts
// with 0) for which makeRunnableSample succeeds; its index, or -1 when none
// fits. `sample` receives the rewritten file.
int firstRunnableRecord(const std::vector<uint8_t>& exe, const SignatureRecord* table,
                        std::vector<uint8_t>* sample, RunnableLayout* layout = nullptr,
                        const char* padSection = kPadSectionName);
