// drenvalisk-offline-bench DIR: the offline stage on hives of a real
// Windows 10's size (SOFTWARE about 66 MB, SYSTEM about 12 MB, in millions of bytes) with six
// infected files, each started by a Run value in both registry views and
// registered as a service in two control sets; the sixth is in use (where
// this process may mount: root) and its removal is scheduled. The delete scan
// runs in this process, twice on fresh copies of the same installation: with
// each change written on its own, as cleaning was before changes were held,
// and with one write per hive per infected file. Prints the wall time and the
// bytes written (write calls, /proc/self/io) of each. The installation is
// generated under DIR once and kept.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/driver.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "platform/linux/drive_map.h"
#include "platform/offline/hive_registry.h"
#include "samples/hive_builder.h"
#include "samples/pe_builder.h"

// The figure before changes were held: the link wraps hiveHoldChanges
// (bench/CMakeLists.txt), and while g_eachChange is set it refuses to hold,
// as a platform that makes each change at once does, so every change is
// committed on its own.
static_assert(std::is_same<decltype(&hiveHoldChanges), bool (*)()>::value,
              "the link wraps hiveHoldChanges by its mangled name, _Z15hiveHoldChangesv");
bool g_eachChange = false;
extern "C" bool __real__Z15hiveHoldChangesv();
extern "C" bool __wrap__Z15hiveHoldChangesv() {
  return !g_eachChange && __real__Z15hiveHoldChangesv();
}

namespace {

namespace fs = std::filesystem;

constexpr int kInfected = 6;
// Filler keys that give hives of a real Windows 10's size.
constexpr int kSoftwareKeys = 52000;
constexpr int kSystemKeys = 9500;
const char* const kRun = "Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRun32 = "WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string infectedPath(int i) { return "C:\\Evil" + std::to_string(i) + "\\evil.exe"; }
std::string hostPath(const std::string& root, int i) {
  return root + "/Evil" + std::to_string(i) + "/evil.exe";
}

bool makeInstallation(const std::string& root) {
  const std::string config = root + "/Windows/System32/config";
  if (!plantInstallation(root + "/Windows", kSoftwareKeys, kSystemKeys)) return false;
  HiveBuilder software(config + "/SOFTWARE", false);
  HiveBuilder system(config + "/SYSTEM", false);
  for (const char* set : {"ControlSet001", "ControlSet002"})
    system.setString(std::string(set) + "\\Control\\Session Manager\\Environment",
                     "PROCESSOR_ARCHITECTURE", "AMD64");
  for (int i = 1; i <= kInfected; ++i) {
    const std::string name = "Evil" + std::to_string(i);
    software.setString(kRun, name, infectedPath(i));
    software.setString(kRun32, name, "\"" + infectedPath(i) + "\" /q");
    for (const char* set : {"ControlSet001", "ControlSet002"}) {
      const std::string key = std::string(set) + "\\Services\\" + name;
      system.setString(key, "ImagePath", "\\??\\" + infectedPath(i), kHiveExpandSz);
      system.setDword(key, "Start", 2);
    }
  }
  return software.commit() && system.commit();
}

std::vector<std::string> g_lines;

struct Outcome {
  double seconds;
  uint64_t written;
  int registryLines;
  bool scheduled;
};

// One delete scan of a fresh copy of the installation.
bool runOnce(const std::string& pristine, const std::string& drive, bool eachChange, bool pin,
             Outcome* outcome) {
  std::error_code error;
  fs::remove_all(drive, error);
  fs::copy(pristine, drive, fs::copy_options::recursive, error);
  if (error) return false;
  const std::vector<uint8_t> sample = buildInfectedSample(signatureTable()[0]);
  for (int i = 1; i <= kInfected; ++i) {
    fs::create_directories(fs::path(hostPath(drive, i)).parent_path());
    std::ofstream(hostPath(drive, i), std::ios::binary)
        .write(reinterpret_cast<const char*>(sample.data()), static_cast<std::streamsize>(sample.size()));
  }
  // The last file in use: a bind mount of it over itself.
  const std::string pinned = hostPath(drive, kInfected);
  if (pin && mount(pinned.c_str(), pinned.c_str(), nullptr, MS_BIND, nullptr) != 0) pin = false;

  hostMapDrive('C', drive);
  resetScanSession();
  std::strcpy(g_session.scanTarget, "!:");
  g_session.actionCode = kActionDelete;
  g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
  g_lines.clear();
  bindReportChannel(ReportSink{[](const char* line) { g_lines.emplace_back(line); }, nullptr});
  g_eachChange = eachChange;

  const uint64_t before = bytesWrittenByThisProcess();
  const auto start = std::chrono::steady_clock::now();
  runScan();
  const auto end = std::chrono::steady_clock::now();
  outcome->written = bytesWrittenByThisProcess() - before;
  outcome->seconds = std::chrono::duration<double>(end - start).count();
  outcome->registryLines = 0;
  outcome->scheduled = false;
  for (const std::string& line : g_lines) {
    if (line.rfind("System Registry ", 0) == 0 && line.find(" removed") != std::string::npos)
      ++outcome->registryLines;
    if (line.find("will be removed when the Windows on this disk next starts") != std::string::npos)
      outcome->scheduled = true;
  }
  bindReportChannel(ReportSink{nullptr, nullptr});
  hostUnmapDrives();
  if (pin) umount2(pinned.c_str(), MNT_DETACH);
  return true;
}

double megabytes(uint64_t bytes) { return bytes / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: drenvalisk-offline-bench DIR\n", stderr);
    return 2;
  }
  const std::string dir = fs::absolute(argv[1]).string();
  const std::string pristine = dir + "/installation";
  const std::string config = pristine + "/Windows/System32/config";
  if (!fs::exists(dir + "/installation.done")) {
    std::error_code error;
    fs::remove_all(pristine, error);
    if (!makeInstallation(pristine)) {
      std::fprintf(stderr, "drenvalisk-offline-bench: cannot write the hives under %s\n", pristine.c_str());
      return 1;
    }
    std::ofstream(dir + "/installation.done") << "written by drenvalisk-offline-bench\n";
  }
  const uint64_t software = fs::file_size(config + "/SOFTWARE");
  const uint64_t system = fs::file_size(config + "/SYSTEM");
  const bool pin = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                   mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

  // A first run brings the installation into the page cache: the figures
  // below are warm.
  Outcome ignored;
  if (!runOnce(pristine, dir + "/drive", false, pin, &ignored)) return 1;
  Outcome each, held;
  if (!runOnce(pristine, dir + "/drive", true, pin, &each) ||
      !runOnce(pristine, dir + "/drive", false, pin, &held))
    return 1;
  std::error_code error;
  fs::remove_all(dir + "/drive", error);

  const uint64_t bound = kInfected * (software + system);
  auto share = [&](const Outcome& outcome) { return static_cast<double>(outcome.written) / bound; };
  std::printf("== offline stage: SOFTWARE %.1f MB, SYSTEM %.1f MB, %d infected files (Run values in "
              "both views, a service in two control sets each%s), warm\n",
              megabytes(software), megabytes(system), kInfected,
              held.scheduled ? ", the last in use and scheduled" : "; none in use: needs root");
  std::printf("  each change written on its own   %7.3f s | written %8.1f MB (x%.2f) | %d registry lines\n",
              each.seconds, megabytes(each.written), share(each), each.registryLines);
  std::printf("  one write per hive per file      %7.3f s | written %8.1f MB (x%.2f) | %d registry lines\n",
              held.seconds, megabytes(held.written), share(held), held.registryLines);
  std::printf("  goal: under 1 s, written at most x1.00 = one hive's size per hive per file "
              "(%.1f MB)\n", megabytes(bound));
  return 0;
}
