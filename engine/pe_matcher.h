// The file signature matcher: reads a file's PE headers and tries every record
// of the signature table against it.
#pragma once
#include <cstdint>

// The parts of a PE file's headers the matcher keeps while it examines a file.
struct PeLayout {
  uint16_t headerOffset;        // low half of the PE signature's offset
  uint8_t fileHeader[20];       // COFF file header
  uint8_t optionalHeader[96];   // first 96 bytes of the optional header
  uint8_t sections[20][40];     // section table, at most 20 headers
  uint16_t sectionCount;        // NumberOfSections, once accepted
  long fileLength;              // the file's length in bytes
};

constexpr int kMaxSections = 20;

// Length of a file the caller has not measured.
constexpr long long kLengthUnknown = -1;

// The check function of the file check table. 1 when the file matched a record
// (ordinary scan and memory-check mode), 0 otherwise and in kill-then-act mode.
// `knownLength`, the length the walker's listing gave, lets the matcher pass
// over a file no record's size rule accepts without opening it.
int matchSignatureFile(const char* detectionName, const char* path,
                       long long knownLength = kLengthUnknown);

// Reads and accepts the headers of the open file `fd` of `fileLength` bytes.
int readPeLayout(int fd, long fileLength, PeLayout* layout);

// The file position at which the byte of relative virtual address `rva` is
// looked for.
uint32_t rvaToFilePosition(uint32_t rva, const PeLayout& layout);
