// Writes synthetic PE32 files: a chosen size, entry point and section table,
// with byte patterns placed by relative virtual address. Harmless by design:
// the files hold no code beyond what a test asks for.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/signature_record.h"

struct PeSection {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawPointer;
  uint32_t rawSize;
};

struct PeImage {
  uint32_t fileSize = 4096;
  uint32_t entryPoint = 0x1000;
  uint32_t sizeOfHeaders = 0x400;
  uint16_t headerOffset = 0x80;     // stored at offset 60
  bool dosSignature = true;         // "MZ" at the start
  std::vector<PeSection> sections;  // up to any count; the matcher reads 20
  uint16_t sectionCountOverride = 0xFFFF;  // NumberOfSections, when not the list's size
};

// The file position that an RVA maps to, by the same rules a loader-less
// scanner uses: the first section whose end lies above the RVA, else the last.
uint32_t peFilePosition(const PeImage& image, uint32_t rva);

class PeBuilder {
 public:
  explicit PeBuilder(const PeImage& image);
  // Places `bytes` at the file position of `rva` (false when it does not fit).
  bool placeAtRva(uint32_t rva, const uint8_t* bytes, size_t length);
  void placeAtOffset(uint32_t offset, const uint8_t* bytes, size_t length);
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  bool writeTo(const std::string& hostPath) const;

 private:
  PeImage image_;
  std::vector<uint8_t> bytes_;
};

// A file of the record's exact size carrying its two patterns where the record
// expects them; empty when the record's displacements cannot fit such a file.
std::vector<uint8_t> buildInfectedSample(const SignatureRecord& record);
// A clean PE file of the given size (no signature patterns).
std::vector<uint8_t> buildCleanSample(uint32_t fileSize, uint32_t seed);

bool writeHostFile(const std::string& hostPath, const std::vector<uint8_t>& bytes);
