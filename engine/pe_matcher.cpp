#include "engine/pe_matcher.h"

#include <cstring>

#include "engine/actions.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "platform/file_io.h"
#include "platform/little_endian.h"
#include "platform/system.h"
#include "repair/registry_repair.h"

namespace {

constexpr uint8_t kPeSignature[4] = {0x50, 0x45, 0x00, 0x00};


// Seeks to an absolute position and reads exactly `count` bytes.
bool readAt(int fd, long position, void* buffer, unsigned count) {
  if (fileSeek(fd, position, kSeekSet) != position) return false;
  return fileRead(fd, buffer, count) == static_cast<int>(count);
}

// True when the 20 bytes at entry point + displacement equal `pattern`.
bool patternAt(int fd, const PeLayout& layout, uint32_t base, int32_t displacement,
               const uint8_t* pattern) {
  uint32_t rva = base + static_cast<uint32_t>(displacement);  // 32-bit wrap-around
  uint32_t position = rvaToFilePosition(rva, layout);
  uint8_t bytes[20];
  if (position > 0x7FFFFFFFu || !readAt(fd, static_cast<long>(position), bytes, sizeof bytes))
    return false;
  return std::memcmp(bytes, pattern, sizeof bytes) == 0;
}

// A record's name, terminated even when the table's field is not.
void recordName(const SignatureRecord& record, char (&name)[sizeof record.name + 1]) {
  std::memcpy(name, record.name, sizeof record.name);
  name[sizeof record.name] = 0;
}

void clearCurrentFile() { std::memset(g_session.currentFile, 0, sizeof g_session.currentFile); }

// Kill-then-act: the file was matched in memory and its process terminated;
// it is acted on without being examined again.
void actAfterTermination(const char* detectionName, const char* path) {
  g_session.actionCode = g_session.killThenActAction;
  reportLine("%s", kMemoryRemovedLine);
  sleepMs(1000);
  actOnInfectedFile(path, detectionName);
  clearCurrentFile();
}

}  // namespace

int readPeLayout(int fd, long fileLength, PeLayout* layout) {
  std::memset(layout, 0, sizeof *layout);
  layout->fileLength = fileLength;
  uint8_t offset[2];
  if (!readAt(fd, 60, offset, sizeof offset)) return 0;
  layout->headerOffset = load16le(offset);
  const long header = layout->headerOffset;
  uint8_t signature[4];
  if (!readAt(fd, header, signature, sizeof signature)) return 0;
  if (std::memcmp(signature, kPeSignature, sizeof signature) != 0) return 0;
  if (!readAt(fd, header + 4, layout->fileHeader, sizeof layout->fileHeader)) return 0;
  if (!readAt(fd, header + 24, layout->optionalHeader, sizeof layout->optionalHeader)) return 0;
  uint16_t sections = load16le(layout->fileHeader + 2);
  if (sections > kMaxSections) return 0;
  // The section table is read where a standard 224-byte optional header puts it.
  unsigned tableBytes = sections * 40u;
  if (tableBytes && !readAt(fd, header + 248, layout->sections, tableBytes)) return 0;
  layout->sectionCount = sections;
  return 1;
}

uint32_t rvaToFilePosition(uint32_t rva, const PeLayout& layout) {
  uint32_t position = rva;
  if (layout.sectionCount > 0) {
    const uint8_t* chosen = layout.sections[layout.sectionCount - 1];
    for (int i = 0; i < layout.sectionCount; ++i) {
      const uint8_t* section = layout.sections[i];
      // Only the section's end is compared: an RVA below its start maps into it.
      if (load32le(section + 12) + load32le(section + 8) > rva) {
        chosen = section;
        break;
      }
    }
    position = rva - load32le(chosen + 12) + load32le(chosen + 20);
  }
  if (static_cast<long long>(position) >= layout.fileLength) position = rva;
  if (position == 0) return load32le(layout.optionalHeader + 60);  // SizeOfHeaders
  return position;
}

int matchSignatureFile(const char* detectionName, const char* path, long long knownLength) {
  ScanSession& session = g_session;
  if (session.killThenActAction && session.reportWindow) {
    actAfterTermination(detectionName, path);
    return 0;
  }
  if (session.filesInfected == 0)
    std::memset(session.startupValueName, 0, sizeof session.startupValueName);
  // No record accepts a file of this length: nothing to read.
  if (knownLength != kLengthUnknown && !signatureSizeEligible(knownLength)) return 0;

  FileDescriptor file(fileOpen(path, kOpenReadBinary));
  if (!file.valid()) return 0;
  clearCurrentFile();
  copyText(session.currentFile, path, sizeof session.currentFile);
  long length = fileLength(file.get());
  if (length < 0) return 0;
  session.currentFileLength = static_cast<int32_t>(length);

  PeLayout layout;
  if (!readPeLayout(file.get(), length, &layout)) return 0;
  const uint32_t base = load32le(layout.optionalHeader + 16);  // AddressOfEntryPoint

  int matched = 0;
  // Only the records whose size rule accepts the length, in table order.
  const SignatureRecords records = signatureRecords();
  for (uint32_t index : recordsAcceptingLength(length)) {
    const SignatureRecord& record = records.first[index];
    if (!patternAt(file.get(), layout, base, record.firstOffset, record.firstPattern)) continue;
    if (!patternAt(file.get(), layout, base, record.secondOffset, record.secondPattern)) continue;
    char name[sizeof record.name + 1];
    recordName(record, name);
    ++session.filesInfected;
    file.close();
    // Every registry change this file causes is written at once at the end.
    beginRegistryChanges();
    repairRegistry(name);
    copyText(session.detectionName, name, sizeof session.detectionName);
    copyText(session.statusText, path, sizeof session.statusText);
    if (session.memoryCheckMode == 1) {
      endRegistryChanges();
      session.memoryHit = 1;
      return 1;  // currentFile keeps the path for the memory stage
    }
    actOnInfectedFile(path, name);
    endRegistryChanges();
    matched = 1;
    break;
  }
  clearCurrentFile();
  return matched;
}
