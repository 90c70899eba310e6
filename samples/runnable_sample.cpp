#include "samples/runnable_sample.h"

#include <algorithm>
#include <cstring>

#include "samples/byte_fields.h"
#include "samples/pe_builder.h"

namespace {

constexpr size_t kJumpLength = 16;    // E9 rel32, then int3 filler
constexpr size_t kPatternLength = 20;
constexpr uint16_t kPe32Magic = 0x010B;
constexpr uint16_t kPe32PlusMagic = 0x020B;
// The matcher reads the section table at header + 24 + 224, where a PE32
// optional header with all 16 data directories ends.
constexpr uint16_t kMatcherOptionalHeader = 224;
constexpr uint16_t kPe32PlusOptionalHeader = 240;
constexpr uint32_t kCodeAndExecute = 0x20000020;  // IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_CNT_CODE

bool disjoint(int64_t a, int64_t aLength, int64_t b, int64_t bLength) {
  return a + aLength <= b || b + bLength <= a;
}

// Puts the section table where the matcher reads it. A PE32 file has it
// there already. A PE32+ file's optional header is 16 bytes longer; when its
// last two data directories (runtime header, reserved) are empty, declaring
// 14 directories shortens it to 224 bytes and the table moves up 16 bytes,
// so that the loader and the matcher read the same table.
bool placeSectionTable(std::vector<uint8_t>& b, size_t header, size_t sectionCount) {
  const size_t optional = header + 24;
  const uint16_t optionalSize = get16(b, header + 20);
  const uint16_t magic = get16(b, optional);
  if (magic == kPe32Magic || optionalSize == kMatcherOptionalHeader)
    return optionalSize == kMatcherOptionalHeader;
  if (magic != kPe32PlusMagic || optionalSize != kPe32PlusOptionalHeader) return false;
  const size_t directoryCount = optional + 108;
  const size_t lastTwo = optional + 112 + 14 * 8;
  const size_t from = optional + kPe32PlusOptionalHeader;
  const size_t to = optional + kMatcherOptionalHeader;
  if (from + sectionCount * 40 > b.size() || get32(b, directoryCount) != 16) return false;
  for (size_t i = lastTwo; i < lastTwo + 16; ++i)
    if (b[i]) return false;
  put32(b, directoryCount, 14);
  put16(b, header + 20, kMatcherOptionalHeader);
  std::memmove(&b[to], &b[from], sectionCount * 40);
  std::memset(&b[to + sectionCount * 40], 0, from - to);
  return true;
}

}  // namespace

std::vector<uint8_t> makeRunnableSample(const std::vector<uint8_t>& exe,
                                        const SignatureRecord& stored, RunnableLayout* layout,
                                        const char* padSection) {
  // The table's records are packed: work on copies of the fields.
  int32_t fileSize, first, second, sizeRule;
  std::memcpy(&fileSize, &stored.fileSize, sizeof fileSize);
  std::memcpy(&first, &stored.firstOffset, sizeof first);
  std::memcpy(&second, &stored.secondOffset, sizeof second);
  std::memcpy(&sizeRule, &stored.sizeRule, sizeof sizeRule);
  if (sizeRule < 1 || sizeRule > 3) return {};  // a record that never matches
  if (exe.size() < 64 || fileSize < 0 || static_cast<uint64_t>(fileSize) < exe.size()) return {};
  // The jump and both patterns, relative to the new entry point.
  if (!disjoint(0, kJumpLength, first, kPatternLength) ||
      !disjoint(0, kJumpLength, second, kPatternLength) ||
      !disjoint(first, kPatternLength, second, kPatternLength))
    return {};
  const int64_t low = std::min<int64_t>({0, first, second});
  const int64_t high = std::max<int64_t>({static_cast<int64_t>(kJumpLength),
                                          int64_t{first} + static_cast<int64_t>(kPatternLength),
                                          int64_t{second} + static_cast<int64_t>(kPatternLength)});

  // The matcher takes the header offset's low 16 bits only.
  const uint32_t header = get32(exe, 60);
  if (header > 0xFFFF || header + 24 + kPe32PlusOptionalHeader > exe.size()) return {};
  if (std::memcmp(&exe[header], "PE\0\0", 4) != 0) return {};
  const size_t sectionCount = get16(exe, header + 6);
  if (sectionCount == 0 || sectionCount > 20) return {};
  const size_t table = header + 24 + kMatcherOptionalHeader;
  if (table + sectionCount * 40 + 16 > exe.size()) return {};

  // The pad section, as the matcher will see it.
  PeImage image;
  image.fileSize = static_cast<uint32_t>(fileSize);
  std::vector<uint8_t> headers(exe.begin(), exe.begin() + table + sectionCount * 40 + 16);
  if (!placeSectionTable(headers, header, sectionCount)) return {};
  image.sizeOfHeaders = get32(headers, header + 24 + 60);
  size_t pad = sectionCount;
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t at = table + 40 * i;
    image.sections.push_back(PeSection{get32(headers, at + 12), get32(headers, at + 8),
                                       get32(headers, at + 20), get32(headers, at + 16)});
    char name[9] = {};
    std::memcpy(name, &headers[at], 8);
    if (pad == sectionCount && std::strcmp(name, padSection) == 0) pad = i;
  }
  if (pad == sectionCount) return {};
  const PeSection section = image.sections[pad];
  const int64_t start = section.virtualAddress;
  const int64_t usable = section.virtualSize ? std::min(section.virtualSize, section.rawSize)
                                             : section.rawSize;
  if (section.rawPointer + static_cast<uint64_t>(usable) > exe.size()) return {};
  if (high - low > usable) return {};
  int64_t entry = start - low;
  if (((entry + 15) & ~int64_t{15}) + high <= start + usable) entry = (entry + 15) & ~int64_t{15};
  auto position = [&](int64_t rva) { return section.rawPointer + (rva - start); };
  // Both patterns must be found, by the matcher's own mapping, inside the section.
  const uint32_t firstRva = static_cast<uint32_t>(entry + first);
  const uint32_t secondRva = static_cast<uint32_t>(entry + second);
  if (peFilePosition(image, firstRva) != position(firstRva) ||
      peFilePosition(image, secondRva) != position(secondRva))
    return {};

  std::vector<uint8_t> out(exe);
  std::copy(headers.begin(), headers.end(), out.begin());
  const size_t optional = header + 24;
  const uint32_t originalEntry = get32(out, optional + 16);
  const size_t jump = position(entry);
  out[jump] = 0xE9;  // jmp rel32: the same encoding on i386 and x86-64
  put32(out, jump + 1, originalEntry - static_cast<uint32_t>(entry + 5));
  std::memset(&out[jump + 5], 0xCC, kJumpLength - 5);
  put32(out, optional + 16, static_cast<uint32_t>(entry));
  const size_t characteristics = table + 40 * pad + 36;
  put32(out, characteristics, get32(out, characteristics) | kCodeAndExecute);
  std::memcpy(&out[position(firstRva)], stored.firstPattern, kPatternLength);
  std::memcpy(&out[position(secondRva)], stored.secondPattern, kPatternLength);
  out.resize(static_cast<size_t>(fileSize), 0);

  if (layout) {
    layout->entryPoint = static_cast<uint32_t>(entry);
    layout->originalEntry = originalEntry;
    layout->entryPosition = static_cast<uint32_t>(jump);
    layout->firstPosition = static_cast<uint32_t>(position(firstRva));
    layout->secondPosition = static_cast<uint32_t>(position(secondRva));
  }
  return out;
}

int firstRunnableRecord(const std::vector<uint8_t>& exe, const SignatureRecord* table,
                        std::vector<uint8_t>* sample, RunnableLayout* layout,
                        const char* padSection) {
  for (int i = 0; table[i].name[0]; ++i) {
    std::vector<uint8_t> bytes = makeRunnableSample(exe, table[i], layout, padSection);
    if (bytes.empty()) continue;
    if (sample) *sample = std::move(bytes);
    return i;
  }
  return -1;
}
