#include "engine/restart_removal.h"

#include <cstdio>
#include <cstring>

#include "engine/report_channel.h"
#include "engine/session.h"
#include "memory/version.h"
#include "platform/ascii.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/system.h"

namespace {

constexpr unsigned kLinePieceSize = 647;  // longest piece of a line examined at once

bool writeAll(int fd, const char* text, size_t length) {
  return fileWrite(fd, text, static_cast<unsigned>(length)) == static_cast<int>(length);
}
bool writeText(int fd, const char* text) { return writeAll(fd, text, std::strlen(text)); }

bool writeEntry(int fd, const char* key, const char* value) {
  return writeText(fd, key) && writeText(fd, "=") && writeText(fd, value) && writeText(fd, "\r\n");
}

// Reads a file in pieces of at most kLinePieceSize bytes that end at a line
// feed, keeping every byte (carriage returns included).
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // The next piece into `piece` (NUL-terminated); its length, 0 at the end.
  size_t next(char (&piece)[kLinePieceSize + 1], bool* startsLine) {
    *startsLine = atLineStart_;
    size_t length = 0;
    while (length < kLinePieceSize) {
      if (pos_ == end_ && !fill()) break;
      char c = buffer_[pos_++];
      piece[length++] = c;
      if (c == '\n') break;
    }
    piece[length] = 0;
    if (length) atLineStart_ = piece[length - 1] == '\n';
    return length;
  }

 private:
  bool fill() {
    int got = fileRead(fd_, buffer_, sizeof buffer_);
    if (got <= 0) return false;
    pos_ = 0;
    end_ = static_cast<size_t>(got);
    return true;
  }
  int fd_;
  char buffer_[4096];
  size_t pos_ = 0, end_ = 0;
  bool atLineStart_ = true;
};

bool createWininit(const char* iniPath, const char* key, const char* value) {
  FileDescriptor ini(fileOpen(iniPath, kOpenCreateAppendBinary));
  if (!ini.valid()) return false;
  return writeText(ini.get(), "[rename]\r\n") && writeEntry(ini.get(), key, value);
}

// Copies `copy` into `ini` line by line, the entry placed before the header
// that follows the "[rename]" section, or at the end.
bool rewriteWithEntry(int copy, int ini, const char* key, const char* value) {
  LineReader reader(copy);
  char piece[kLinePieceSize + 1];
  bool startsLine = true;
  bool sectionFound = false, entryWritten = false, endsWithNewline = true;
  while (size_t length = reader.next(piece, &startsLine)) {
    if (!entryWritten && startsLine) {
      if (!sectionFound) {
        sectionFound = asciiEqualNoCaseN(piece, "[rename]", 8);
      } else if (piece[0] == '[') {
        if (!writeEntry(ini, key, value)) return false;
        entryWritten = true;
      }
    }
    if (!writeAll(ini, piece, length)) return false;
    endsWithNewline = piece[length - 1] == '\n';
  }
  if (entryWritten) return true;
  // A last line without a line break must not run into what is appended.
  if (!endsWithNewline && !writeText(ini, "\r\n")) return false;
  if (!sectionFound && !writeText(ini, "[rename]\r\n")) return false;
  return writeEntry(ini, key, value);
}

// A Windows that is not running (its disk mounted by a rescue system) takes
// the deletion into its own registry and carries it out at its next start;
// the report says so, or that it could not be recorded.
int scheduleOfflineRemoval(const char* path) {
  char scheduled[kReportLineSize], notScheduled[kReportLineSize];
  std::snprintf(scheduled, sizeof scheduled,
                "%s     will be removed when the Windows on this disk next starts", path);
  std::snprintf(notScheduled, sizeof notScheduled,
                "%s     could not be scheduled for removal at the next start of the Windows on this disk",
                path);
  if (!moveFileEx(path, nullptr, kMoveDelayUntilReboot)) {
    reportLine("%s", notScheduled);
    return 0;
  }
  // Recorded in the installation's SYSTEM hive, told once it is on disk.
  reportRegistryChange("SYSTEM", scheduled, notScheduled);
  return 1;
}

}  // namespace

bool g_wininitRestoreFailed = false;

bool addWininitRename(const char* key, const char* value) {
  if (g_wininitRestoreFailed) return false;  // the copy holds the only good content
  char iniPath[350 + 16];
  uint32_t length = getWindowsDirectory(iniPath, 350);
  if (length == 0 || length >= 350) return false;
  std::strcat(iniPath, "\\wininit.ini");
  if (fileAccess(iniPath, 0) != 0) return createWininit(iniPath, key, value);

  char copyPath[kMaxPath + 16];
  length = getTempPath(kMaxPath, copyPath);
  if (length == 0 || length >= kMaxPath) return false;
  std::strcat(copyPath, "wininit.ini");
  if (!copyFile(iniPath, copyPath, false)) return false;
  FileDescriptor copy(fileOpen(copyPath, kOpenReadBinary));
  if (!copy.valid()) return false;
  FileDescriptor ini(fileOpen(iniPath, kOpenTruncateBinary));
  if (!ini.valid()) return false;
  if (rewriteWithEntry(copy.get(), ini.get(), key, value)) return true;
  ini.close();
  if (!copyFile(copyPath, iniPath, false)) {  // the copy still holds the old content
    g_wininitRestoreFailed = true;
    reportLine("%s could not be restored after a failed write: its earlier content is kept in %s",
               iniPath, copyPath);
  }
  return false;
}

int scheduleRemovalAtRestart(const char* path) {
  switch (getWindowsFamily()) {
    case kFamilyNt:
      if (repairsOfflineSystem()) return scheduleOfflineRemoval(path);
      // A refusal is not reported: the restart is offered all the same.
      moveFileEx(path, nullptr, kMoveDelayUntilReboot);
      return 1;
    case kFamily9x: {
      char shortPath[kMaxPath];
      uint32_t length = getShortPathName(path, shortPath, sizeof shortPath);
      if (length == 0 || length >= sizeof shortPath) return 0;
      return addWininitRename("NUL", shortPath) ? 1 : 0;
    }
    default:
      return 0;
  }
}
