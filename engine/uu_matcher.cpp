#include "engine/uu_matcher.h"

#include <cstring>

#include "engine/actions.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "platform/ascii.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "repair/uninstall_entry.h"

namespace {

constexpr int kRegionSize = 4096;

bool g_patternsRestored = false;

// The patterns ship scrambled; they are restored in place exactly once.
void restorePatternsOnce() {
  if (g_patternsRestored) return;
  g_patternsRestored = true;
  UuSignatureRecord& record = uuSignatureTable()[0];
  int length = record.patternLength > sizeof record.pattern ? sizeof record.pattern
                                                            : record.patternLength;
  for (int i = 0; i < length; ++i) record.pattern[i] ^= kUuPatternKey;
}

bool isBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Text with every blank removed.
struct StrippedText {
  unsigned char bytes[kRegionSize];
  int length = 0;
  // The byte at `index`, or 0 outside the text.
  unsigned char at(long index) const { return index >= 0 && index < length ? bytes[index] : 0; }
};

bool readStripped(int fd, long position, int origin, int count, StrippedText* text) {
  unsigned char raw[kRegionSize];
  if (fileSeek(fd, position, origin) < 0) return false;
  if (fileRead(fd, raw, static_cast<unsigned>(count)) != count) return false;
  text->length = 0;
  for (int i = 0; i < count; ++i)
    if (!isBlank(raw[i])) text->bytes[text->length++] = raw[i];
  return true;
}

bool sizeRuleAllows(const UuSignatureRecord& record, long fileLength) {
  // No part of the system sets a reference length of its own: rules 16 and 17
  // compare with the examined file's length.
  switch (record.uuSizeRule) {
    case 16: return record.size == fileLength;
    case 17: return record.size >= fileLength - kRegionSize && record.size <= fileLength + kRegionSize;
    default: return true;
  }
}

// Method 1: the pattern anywhere in the region text padded with zeros to n bytes.
bool searchRegion(const UuSignatureRecord& record, const StrippedText& text, int n) {
  const int length = record.patternLength;
  for (int start = 0; start + length <= n; ++start) {
    if (text.at(start) != record.pattern[0]) continue;
    int i = 1;
    while (i < length && text.at(start + i) == record.pattern[i]) ++i;
    if (i == length) return true;
  }
  return false;
}

// Fixed position: the 100 bytes at `position` of the head, or `position` bytes
// before the end of the tail; bytes outside the text read as zeros. A position
// before the start of the tail text takes none of its bytes.
bool compareAtPosition(const UuSignatureRecord& record, const StrippedText& text) {
  long start = record.region == 1 ? text.length - static_cast<long>(record.position)
                                  : static_cast<long>(record.position);
  if (record.region == 1 && start < 0) start = text.length;
  for (int i = 0; i < record.patternLength; ++i)
    if (text.at(start + i) != record.pattern[i]) return false;
  return true;
}

// The matching record's name, or null.
const UuSignatureRecord* findMatch(int fd, long fileLength) {
  const int n = fileLength >= kRegionSize ? kRegionSize : static_cast<int>(fileLength);
  static StrippedText head, tail;
  if (!readStripped(fd, 0, kSeekSet, n, &head)) return nullptr;
  if (fileLength >= kRegionSize) {
    if (!readStripped(fd, -kRegionSize, kSeekEnd, kRegionSize, &tail)) return nullptr;
  } else {
    tail = head;
  }
  UuSignatureRecord* table = uuSignatureTable();
  for (int i = 0; i < uuSignatureCount(); ++i) {
    const UuSignatureRecord& record = table[i];
    if (record.patternLength == 0 || record.patternLength > sizeof record.pattern ||
        record.patternLength > fileLength)
      continue;
    if (!sizeRuleAllows(record, fileLength)) continue;
    const StrippedText& text = record.region == 1 ? tail : head;
    bool found = record.method == 1 ? searchRegion(record, text, n) : compareAtPosition(record, text);
    if (found) return &record;
  }
  return nullptr;
}

void actOnWorm(const char* path, const char* name) {
  ScanSession& session = g_session;
  switch (session.actionCode) {
    case kActionDelete:
    case kActionDeleteToo:
      if (deleteFile(path)) {
        ++session.filesRemoved;
        cleanUninstallEntry();
        reportLine("%s     %s removed", path, name);
      } else {
        reportLine("%s     %s Remove failed", path, name);
      }
      break;
    case kActionRename:
      renameInfectedFile(path, name);
      break;
    case kActionReport:
      reportLine("%s     %s Not Disinfected As Per User's Selection", session.statusText,
                 session.detectionName);
      break;
    default:
      break;
  }
}

}  // namespace

int matchUuencodedFile(const char*, const char* path) {
  restorePatternsOnce();
  char matchedName[sizeof(UuSignatureRecord::name) + 1] = {};
  {
    FileDescriptor file(fileOpen(path, kOpenReadBinary));
    if (!file.valid()) return 0;
    long length = fileLength(file.get());
    char word[5];
    if (length < 0 || fileSeek(file.get(), 0, kSeekSet) != 0 ||
        fileRead(file.get(), word, sizeof word) != sizeof word || !asciiEqualNoCaseN(word, "begin", 5))
      return 0;
    const UuSignatureRecord* record = findMatch(file.get(), length);
    if (!record) return 0;
    ++g_session.filesInfected;
    std::memcpy(matchedName, record->name, sizeof record->name);
  }
  copyText(g_session.detectionName, matchedName, sizeof g_session.detectionName);
  copyText(g_session.statusText, path, sizeof g_session.statusText);
  actOnWorm(path, matchedName);
  return 1;
}
