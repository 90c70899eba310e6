// Portable stand-ins for the handle and record types of the Win32 calls the
// system makes. Only platform/win32 maps them onto <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>

using Handle = void*;        // kernel object: search, process, snapshot, token
using WindowHandle = void*;  // a window, or the report sink's stand-in
using RegKey = void*;        // an open registry key or a predefined root
using ServiceHandle = void*; // service manager or service
using ModuleHandle = void*;  // a loaded library

#define PLATFORM_INVALID_HANDLE (reinterpret_cast<Handle>(static_cast<intptr_t>(-1)))

constexpr int kMaxPath = 260;  // the platform's path limit, terminator included

// File attribute bits, as the directory search and SetFileAttributes use them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrReparsePoint = 0x400;

// Drive types of getDriveType.
constexpr unsigned kDriveNoRootDir = 1;
constexpr unsigned kDriveFixed = 3;

// One entry of a directory search.
struct FindData {
  uint32_t attributes;
  uint32_t sizeHigh;
  uint32_t sizeLow;
  char name[kMaxPath];
};
