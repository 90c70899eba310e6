#include "platform/host/sim_machine.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>

namespace {
SimMachine* g_machine = nullptr;
volatile std::sig_atomic_t g_quitPosted = 0;

// Finds `name` in `folder` ignoring letter case; empty when absent.
std::string findCaseInsensitive(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::string();
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}
}  // namespace

namespace {
// Out of line, so the frequent call that finds the machine made stays small.
__attribute__((noinline)) SimMachine& makeSimMachine() {
  g_machine = new SimMachine();
  return *g_machine;
}
}  // namespace

SimMachine& simMachine() {
  if (__builtin_expect(g_machine == nullptr, 0)) return makeSimMachine();
  return *g_machine;
}

void resetSimMachine() {
  hostFilesChanged();
  delete g_machine;
  g_machine = new SimMachine();
  g_quitPosted = 0;
}

void simPostQuitFromSignal() { g_quitPosted = 1; }

bool simTakePostedQuit() {
  if (!g_quitPosted) return false;
  g_quitPosted = 0;
  return true;
}

void hostMapDrive(char letter, const std::string& folder) {
  hostFilesChanged();
  std::string root = folder;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  simMachine().drives[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = root;
}

std::string simPathKey(const char* windowsPath) {
  std::string key(windowsPath ? windowsPath : "");
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

std::string hostPathOf(const char* windowsPath) {
  if (!windowsPath || !windowsPath[0] || windowsPath[1] != ':') return std::string();
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
  auto drive = simMachine().drives.find(letter);
  if (drive == simMachine().drives.end()) return std::string();
  const std::string& root = drive->second;
  std::vector<std::string> parts;  // resolved components below the root
  const char* rest = windowsPath + 2;
  while (*rest) {
    while (*rest == '\\' || *rest == '/') ++rest;
    const char* end = rest;
    while (*end && *end != '\\' && *end != '/') ++end;
    if (end == rest) break;
    std::string component(rest, end);
    rest = end;
    if (component == ".") continue;
    if (component == "..") {  // never above the drive's root
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(component);
  }
  // Most paths name existing files in their stored spelling: one lstat.
  std::string direct = root;
  for (const std::string& component : parts) direct += "/" + component;
  struct stat info;
  if (parts.empty() || lstat(direct.c_str(), &info) == 0) return direct;

  std::string path = root;
  bool resolving = true;  // while every component so far exists
  for (const std::string& component : parts) {
    std::string candidate = path + "/" + component;
    if (resolving && lstat(candidate.c_str(), &info) != 0) {
      std::string actual = findCaseInsensitive(path, component);
      if (actual.empty()) {
        resolving = false;
      } else {
        candidate = path + "/" + actual;
      }
    }
    path = candidate;
  }
  return path;
}
