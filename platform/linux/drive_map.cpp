#include "platform/linux/drive_map.h"

#include <dirent.h>
#include <sys/stat.h>

#include <map>
#include <vector>

#include "platform/ascii.h"

namespace {
std::map<char, std::string> g_drives;  // upper-case letter -> host folder
uint64_t g_generation = 1;

// Finds `name` in `folder` ignoring letter case; empty when absent.
std::string findCaseInsensitive(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return std::string();
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (asciiEqualNoCase(entry->d_name, name.c_str())) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}
}  // namespace

void hostMapDrive(char letter, const std::string& folder) {
  hostFilesChanged();
  ++g_generation;
  std::string root = folder;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  g_drives[asciiUpper(letter)] = root;
}

void hostUnmapDrives() {
  hostFilesChanged();
  ++g_generation;
  g_drives.clear();
}

const std::string* hostDriveRoot(char letter) {
  auto drive = g_drives.find(asciiUpper(letter));
  return drive == g_drives.end() ? nullptr : &drive->second;
}

uint64_t hostDriveMapGeneration() { return g_generation; }

std::string hostPathOf(const char* windowsPath) {
  if (!windowsPath || !windowsPath[0] || windowsPath[1] != ':') return std::string();
  const std::string* drive = hostDriveRoot(windowsPath[0]);
  if (!drive) return std::string();
  const std::string& root = *drive;
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
