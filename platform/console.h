// What the console front end needs of the terminal and of the folders it is
// given to scan.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Ctrl+C then reaches the scan as a quit message, as closing the window would.
void installInterruptHandler();
bool standardInputIsTerminal();
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

// The scan target made from the folders named on the command line.
struct ScanTarget {
  enum class Status { Ready, UsageError, FolderError };
  Status status = Status::Ready;
  std::string target;   // Ready: what the scan walks ("!:" for every fixed drive, or a folder)
  std::string folder;   // FolderError: the folder that cannot be scanned
  std::string message;  // UsageError, FolderError: why, in one line

  // A target that cannot be scanned: `folder` (may be empty) and why.
  static ScanTarget failed(Status status, const std::string& folder, const std::string& message) {
    ScanTarget result;
    result.status = status;
    result.folder = folder;
    result.message = message;
    return result;
  }
};

// Makes the scan target from `folders`; `capacity` bounds its length
// (terminator included). Native build: each folder becomes a fixed drive of
// the Linux platform's drive map, the first C:, the next D:, and the target
// is every fixed drive; at least one folder is needed. Win32: no folder means every
// fixed drive of the machine; one folder (a Windows path) is scanned alone.
ScanTarget prepareScanTarget(const std::vector<std::string>& folders, size_t capacity);

// How the command line names the folders, for the usage line ("DIR...", "[DIR]"),
// and what they mean, for --help.
const char* scanFoldersSynopsis();
const char* scanFoldersHelp();

// A line for the end of a scan, shown on the status output and written to the
// log before the final status; empty when there is nothing to say. Native
// build: how many symbolic links and junctions the scan passed over.
std::string scanEndNote();
