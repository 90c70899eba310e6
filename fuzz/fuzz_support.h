// Shared set-up of the fuzz targets: one temporary folder per process, mapped
// as drive C: of the machine the target links (the simulated one, or the
// Linux platform for the hive target), and a quiet report channel.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/report_channel.h"
#include "engine/session.h"
#include "platform/linux/drive_map.h"
#include "tests/support/test_machine.h"

namespace fuzz {

inline std::string& driveRoot() {
  static std::string root;
  return root;
}

// Removes the folder at exit; the fuzzer may stop the process at any point,
// so a stale folder from a crashed run is left for the user to see.
inline void removeDriveRoot() {
  if (driveRoot().empty()) return;
  std::string command = "rm -rf '" + driveRoot() + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", command.c_str());
}

// Fresh machine and session with C: on a temporary folder.
inline void setUpMachine() {
  if (driveRoot().empty()) {
    char pattern[] = "/tmp/drenvalisk-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    driveRoot() = pattern;
    std::atexit(removeDriveRoot);
  }
  resetTestMachine();
  resetScanSession();
  hostMapDrive('C', driveRoot());
  bindReportChannel(ReportSink{[](const char*) {}, [](const char*) {}});
  g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
}

// Writes `size` bytes to a host path, replacing the file; aborts on failure
// because every later check would be meaningless.
inline void writeHost(const std::string& path, const void* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
}

inline std::string readHost(const std::string& path) {
  std::string content;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return content;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
  std::fclose(file);
  return content;
}

// Stops the run with a message libFuzzer records next to the crashing input.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace fuzz
