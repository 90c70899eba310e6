#include "platform/ascii.h"
#include "engine/walker.h"


#include <algorithm>
#include <cstring>

#include "engine/pe_matcher.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/messages.h"

namespace {

constexpr int kStatusWidth = 60;

bool pumpAndCheckStop() {
  pumpOneMessage();
  return g_session.stopRequested != 0;
}

// Length of the folder part of a pattern: up to, not including, the character
// before its last "." ("C:\dir\*.*" -> "C:\dir\"). -1 when there is no ".".
int folderPrefixLength(const char* pattern) {
  const char* dot = std::strrchr(pattern, '.');
  if (!dot) return -1;
  int length = static_cast<int>(dot - pattern) - 1;
  return length < 0 ? 0 : length;
}

// prefix + name + suffix into a 260-byte buffer; false when it would not fit.
// The path's length is left in `length`.
bool joinPath(char (&out)[kMaxPath], const char* prefix, int prefixLength, const char* name,
              const char* suffix, size_t suffixLength, size_t* length) {
  const size_t nameLength = std::strlen(name);
  const size_t total = prefixLength + nameLength + suffixLength;
  if (total >= sizeof out) return false;
  std::memcpy(out, prefix, static_cast<size_t>(prefixLength));
  std::memcpy(out + prefixLength, name, nameLength);
  std::memcpy(out + prefixLength + nameLength, suffix, suffixLength + 1);
  *length = total;
  return true;
}

// Path comparisons ignore letter case, as the file system does.
bool containsIgnoringCase(const char* text, const char* word) {
  const size_t length = std::strlen(word);
  const char first = asciiLower(word[0]);
  for (; *text; ++text)
    if (asciiLower(*text) == first && asciiEqualNoCaseN(text, word, length)) return true;
  return false;
}

// The directories pass's search: the pattern with everything after its last
// "." replaced by "*". False when that does not fit a 260-byte buffer.
bool makeFolderSearchPattern(const char* pattern, char (&out)[kMaxPath]) {
  copyText(out, pattern, sizeof out);
  char* dot = std::strrchr(out, '.');
  if (!dot) return true;
  if (dot + 2 >= out + sizeof out) return false;  // no room for "*" and the terminator
  dot[1] = '*';
  dot[2] = 0;
  return true;
}

// At a drive root, records where its Program Files folder would be walked.
void noteProgramFiles(const char* pattern) {
  ScanSession& session = g_session;
  if (std::strlen(pattern) > 6) return;
  copyText(session.programFilesPattern, pattern, sizeof session.programFilesPattern);
  char* colon = std::strchr(session.programFilesPattern, ':');
  if (!colon) return;
  colon[1] = 0;
  std::strcat(session.programFilesPattern, "\\Program Files");
  if (fileAccess(session.programFilesPattern, 0) == 0) {
    session.programFilesPending = 1;
    std::strcat(session.programFilesPattern, "\\*.*");
  }
}

// The status text is the entry's path in its shortened form; a path fits the
// status buffer whole, so it is shortened straight into it.
void showEntry(const char (&fullPath)[kMaxPath], size_t length) {
  static_assert(sizeof g_session.statusText >= kMaxPath, "a full path fits the status text");
  if (length <= static_cast<size_t>(kStatusWidth)) {
    // Shown whole: copied eight bytes at a time, the last block reaching past
    // the terminator (both buffers hold a full path).
    for (size_t at = 0; at <= length; at += 8) std::memcpy(g_session.statusText + at, fullPath + at, 8);
  } else {
    shortenPathOfLength(fullPath, length, g_session.statusText, kStatusWidth);
  }
  sendStatus();
}

// Length of a name in a 260-byte field, eight bytes at a time.
size_t lengthOfName(const char (&name)[kMaxPath]) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  size_t at = 0;
  for (; at + 8 <= sizeof name; at += 8) {
    uint64_t word;
    std::memcpy(&word, name + at, sizeof word);
    const uint64_t zeros = (word - kOnes) & ~word & (kOnes << 7);  // high bit of each zero byte
    if (zeros) return at + static_cast<size_t>(__builtin_ctzll(zeros)) / 8;  // little-endian
  }
  while (at < sizeof name && name[at]) ++at;
  return at;
}

void offerToChecks(const char* fullPath, const FindData& data) {
  const long long length =
      (static_cast<long long>(data.sizeHigh) << 32) | static_cast<long long>(data.sizeLow);
  for (const FileCheck* check = kFileChecks; check->name; ++check)
    if (check->check(check->name, fullPath, length)) break;
}

// Files pass: every entry of the pattern is shown, every file is checked.
// Returns 1 to go on with the folders, 0 after a stop, -1 for a pattern without ".".
int walkFiles(const char* pattern) {
  FindData data;
  ScopedFindHandle search(findFirstFile(pattern, &data));
  if (!search.valid()) return 1;
  const int prefix = folderPrefixLength(pattern);  // the same for every entry
  char fullPath[kMaxPath];
  bool prefixInPlace = false;  // fullPath begins with the folder part
  do {
    if (pumpAndCheckStop()) return 0;
    bool nameable = true;
    size_t length = 0;
    if (g_session.memoryCheckMode) {
      copyText(fullPath, pattern, sizeof fullPath);
      length = std::strlen(fullPath);
      prefixInPlace = false;
    } else {
      if (prefix < 0) return -1;
      if (!prefixInPlace) {
        // Copied once; each entry only puts its name after it.
        std::memcpy(fullPath, pattern, std::min<size_t>(static_cast<size_t>(prefix), sizeof fullPath));
        prefixInPlace = true;
      }
      const size_t nameLength = lengthOfName(data.name);
      length = static_cast<size_t>(prefix) + nameLength;
      nameable = length < sizeof fullPath;
      if (nameable) {
        // A short name as one block of fixed size when the path has room for it.
        constexpr size_t kBlock = 32;
        static_assert(sizeof data.name >= kBlock, "the name field holds a block");
        if (nameLength < kBlock && static_cast<size_t>(prefix) + kBlock <= sizeof fullPath)
          std::memcpy(fullPath + prefix, data.name, kBlock);
        else
          std::memcpy(fullPath + prefix, data.name, nameLength + 1);
      }
    }
    // An entry whose path does not fit the platform's limit cannot be named: pass it over.
    if (nameable) {
      showEntry(fullPath, length);
      if (!(data.attributes & kAttrDirectory)) {
        if (!g_session.memoryCheckMode) ++g_session.filesScanned;
        offerToChecks(fullPath, data);
      }
    }
    if (pumpAndCheckStop()) return 0;
  } while (findNextFile(search.get(), &data));
  return 1;
}

// Directories pass: each subfolder is walked in listing order.
int walkFolders(const char* pattern) {
  char folderPattern[kMaxPath];
  if (!makeFolderSearchPattern(pattern, folderPattern)) return g_session.filesScanned;
  FindData data;
  ScopedFindHandle search(findFirstFile(folderPattern, &data));
  if (!search.valid()) return g_session.filesScanned;
  const int prefix = folderPrefixLength(pattern);
  do {
    if (pumpAndCheckStop()) return 0;
    if (!(data.attributes & kAttrDirectory)) continue;
    if (!std::strcmp(data.name, ".") || !std::strcmp(data.name, "..")) continue;
    if (prefix < 0) return -1;
    char subPattern[kMaxPath];
    size_t length;
    if (!joinPath(subPattern, pattern, prefix, data.name, "\\*.*", 4, &length)) continue;
    if (containsIgnoringCase(subPattern, "\\Program Files\\")) g_session.programFilesSeen = 1;
    if (walkDirectory(subPattern) == -1) return -1;
  } while (findNextFile(search.get(), &data));
  return g_session.filesScanned;
}

}  // namespace

int walkDirectory(const char* pattern) {
  g_session.memoryHit = 0;
  noteProgramFiles(pattern);
  int files = walkFiles(pattern);
  if (files <= 0) return files;
  // A memory-check pattern names one file, not a folder: a folder beside it
  // that shares its name's stem must neither clear the hit its file gave nor
  // be walked as if each of its entries were that file.
  if (g_session.memoryCheckMode) return g_session.filesScanned;
  return walkFolders(pattern);
}

void pumpOneMessage() {
  Message message;
  if (!peekMessage(&message)) return;
  if ((message.wParam & 0xFFFF) == kVkEscape) {
    // After a confirmed stop the walk is ending: Escape asks nothing more.
    if (!g_session.stopRequested &&
        ConfirmBox(kStopQuestion, kProductTitle, kMbYesNo | kMbIconQuestion) != kIdNo)
      g_session.stopRequested = 1;
    return;
  }
  if (message.message == kMsgQuit || message.message == kMsgDestroy) {
    g_session.stopRequested = 1;
    return;
  }
  translateAndDispatch(message);
}

void shortenPath(const char* source, char* destination, int width) {
  shortenPathOfLength(source, std::strlen(source), destination, width);
}

void shortenPathOfLength(const char* source, size_t fullLength, char* destination, int width) {
  if (width > 99) width = 99;
  const int16_t length = static_cast<int16_t>(fullLength);
  const int keep = width / 2 - 1;
  if (length > width && keep > 0) {
    char work[100];
    std::memset(work, '.', sizeof work);
    std::memcpy(work, source, static_cast<size_t>(keep));
    std::memcpy(work + width - keep, source + length - keep, static_cast<size_t>(keep));
    std::memcpy(destination, work, static_cast<size_t>(width));
    destination[width] = 0;
    return;
  }
  std::memcpy(destination, source, fullLength + 1);
}
