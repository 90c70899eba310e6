// The drive map of the Linux platform: drive letters mapped onto host folders
// (the folders given to drenvalisk-scan, C: first), and Windows paths on them
// resolved to host paths the way Windows would find them.
#pragma once
#include <cstdint>
#include <string>

// Maps a drive letter onto a host folder; the drive then reads as fixed.
void hostMapDrive(char letter, const std::string& folder);
// Removes every mapping: no drive is left.
void hostUnmapDrives();
// The host folder of a mapped drive; null when the letter is not mapped.
const std::string* hostDriveRoot(char letter);
// Changes whenever a mapping is made or removed, so what was found on a drive
// (an installation on C:) is looked for again.
uint64_t hostDriveMapGeneration();
// Host path of a Windows path on a mapped drive, resolving letter case the
// way Windows would; empty when the drive is not mapped. A text for tests
// and messages only: the host resolves such a path through links, so the
// platform's file calls reach files with reachHostEntry instead.
std::string hostPathOf(const char* windowsPath);
// Called by every file operation that may change a folder's listing, so a
// listing kept for reuse is not served stale.
void hostFilesChanged();
