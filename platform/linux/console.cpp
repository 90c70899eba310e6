#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/console.h"
#include "platform/linux/drive_map.h"
#include "platform/linux/folder_listing.h"
#include "platform/linux/interrupt.h"
#include "platform/linux/listing_read_ahead.h"

namespace {
using Status = ScanTarget::Status;

void onInterrupt(int) { postQuitFromInterrupt(); }

constexpr size_t kMaxFolders = 24;  // drives C: to Z:
}  // namespace

void installInterruptHandler() {
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // Restart interrupted calls: a write of the report to a full pipe that the
  // signal broke off would otherwise drop the buffered lines.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}
bool standardInputIsTerminal() { return isatty(0) != 0; }
bool standardErrorIsTerminal() { return isatty(2) != 0; }
bool standardOutputIsTerminal() { return isatty(1) != 0; }

ScanTarget prepareScanTarget(const std::vector<std::string>& folders, size_t /*capacity*/) {
  if (folders.empty()) return ScanTarget::failed(Status::UsageError, "", "no DIR given");
  if (folders.size() > kMaxFolders)
    return ScanTarget::failed(Status::UsageError, "", "at most 24 DIRs (drives C: to Z:)");
  // Every folder is checked before any is mapped, so a failure maps nothing.
  for (const std::string& folder : folders) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0)
      return ScanTarget::failed(Status::FolderError, folder, std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
      return ScanTarget::failed(Status::FolderError, folder, "not a folder");
  }
  forgetListedLinks();
  char letter = 'C';
  for (const std::string& folder : folders) hostMapDrive(letter++, folder);
  startListingReadAhead();
  ScanTarget result;
  result.target = "!:";
  return result;
}

const char* scanFoldersSynopsis() { return "DIR..."; }
const char* scanFoldersHelp() {
  return "  DIR...            folders to scan; each becomes a fixed drive, the first C:,\n"
         "                    the next D:, and so on, and report lines show Windows paths\n";
}

std::string scanEndNote() {
  const size_t links = linksListed();
  if (links == 0) return std::string();
  return "Links passed over (symbolic links and junctions, not followed): " +
         std::to_string(links);
}
