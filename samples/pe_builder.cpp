#include "samples/pe_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "samples/byte_fields.h"

namespace {

constexpr uint32_t kSectionVa = 0x1000;
constexpr uint32_t kSectionRaw = 0x400;

}  // namespace

uint32_t peFilePosition(const PeImage& image, uint32_t rva) {
  uint32_t position = rva;
  size_t count = image.sections.size() < 20 ? image.sections.size() : 20;
  if (count) {
    const PeSection* chosen = &image.sections[count - 1];
    for (size_t i = 0; i < count; ++i) {
      if (image.sections[i].virtualAddress + image.sections[i].virtualSize > rva) {
        chosen = &image.sections[i];
        break;
      }
    }
    position = rva - chosen->virtualAddress + chosen->rawPointer;
  }
  if (position >= image.fileSize) position = rva;
  return position == 0 ? image.sizeOfHeaders : position;
}

PeBuilder::PeBuilder(const PeImage& image) : image_(image), bytes_(image.fileSize, 0) {
  auto fits = [&](size_t at, size_t n) { return at + n <= bytes_.size(); };
  if (image.dosSignature && fits(0, 2)) {
    bytes_[0] = 'M';
    bytes_[1] = 'Z';
  }
  if (fits(60, 2)) put16(bytes_, 60, image.headerOffset);
  const size_t h = image.headerOffset;
  if (fits(h, 24 + 96)) {
    bytes_[h] = 'P';
    bytes_[h + 1] = 'E';
    put16(bytes_, h + 4, 0x014C);  // i386
    uint16_t count = image.sectionCountOverride != 0xFFFF
                         ? image.sectionCountOverride
                         : static_cast<uint16_t>(image.sections.size());
    put16(bytes_, h + 6, count);
    put16(bytes_, h + 20, 224);  // SizeOfOptionalHeader
    put16(bytes_, h + 22, 0x0102);
    put16(bytes_, h + 24, 0x010B);  // PE32 magic
    put32(bytes_, h + 24 + 16, image.entryPoint);
    put32(bytes_, h + 24 + 60, image.sizeOfHeaders);
  }
  for (size_t i = 0; i < image.sections.size(); ++i) {
    size_t at = h + 248 + 40 * i;
    if (!fits(at, 40)) break;
    std::snprintf(reinterpret_cast<char*>(&bytes_[at]), 8, ".s%u", static_cast<unsigned>(i % 100));
    put32(bytes_, at + 8, image.sections[i].virtualSize);
    put32(bytes_, at + 12, image.sections[i].virtualAddress);
    put32(bytes_, at + 16, image.sections[i].rawSize);
    put32(bytes_, at + 20, image.sections[i].rawPointer);
  }
}

bool PeBuilder::placeAtRva(uint32_t rva, const uint8_t* bytes, size_t length) {
  uint32_t position = peFilePosition(image_, rva);
  if (static_cast<uint64_t>(position) + length > bytes_.size()) return false;
  std::memcpy(&bytes_[position], bytes, length);
  return true;
}

void PeBuilder::placeAtOffset(uint32_t offset, const uint8_t* bytes, size_t length) {
  if (static_cast<uint64_t>(offset) + length <= bytes_.size())
    std::memcpy(&bytes_[offset], bytes, length);
}

bool PeBuilder::writeTo(const std::string& hostPath) const { return writeHostFile(hostPath, bytes_); }

bool writeHostFile(const std::string& hostPath, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(hostPath.c_str(), "wb");
  if (!file) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::vector<uint8_t> buildInfectedSample(const SignatureRecord& record) {
  if (record.fileSize < 0x600) return {};
  const int64_t size = record.fileSize;
  // One section from 0x1000 mapped at 0x400: file position = rva - 0xC00.
  // Both patterns must land after the headers and inside the file.
  const int64_t low = std::max<int64_t>(0x200, 0x200);
  int64_t a = record.firstOffset, b = record.secondOffset;
  int64_t minEntry = std::max(low - a, low - b) + (kSectionVa - kSectionRaw);
  int64_t maxEntry = std::min(size - 20 - a, size - 20 - b) + (kSectionVa - kSectionRaw);
  if (minEntry > maxEntry) return {};
  int64_t entry = (minEntry + maxEntry) / 2;
  if (entry < kSectionVa) entry = std::max<int64_t>(minEntry, std::min<int64_t>(maxEntry, kSectionVa));
  PeImage image;
  image.fileSize = static_cast<uint32_t>(size);
  image.entryPoint = static_cast<uint32_t>(entry);
  image.sections.push_back(PeSection{kSectionVa, 0x7FFFFFFF, kSectionRaw,
                                     static_cast<uint32_t>(size - kSectionRaw)});
  PeBuilder builder(image);
  if (!builder.placeAtRva(static_cast<uint32_t>(entry + a), record.firstPattern, 20) ||
      !builder.placeAtRva(static_cast<uint32_t>(entry + b), record.secondPattern, 20))
    return {};
  return builder.bytes();
}

std::vector<uint8_t> buildCleanSample(uint32_t fileSize, uint32_t seed) {
  PeImage image;
  image.fileSize = fileSize < 0x600 ? 0x600 : fileSize;
  image.entryPoint = 0x1000 + (seed % 0x100);
  image.sections.push_back(PeSection{kSectionVa, image.fileSize, kSectionRaw, image.fileSize - kSectionRaw});
  PeBuilder builder(image);
  std::vector<uint8_t> bytes = builder.bytes();
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = kSectionRaw; i < bytes.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    bytes[i] = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}
