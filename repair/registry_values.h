// What the registry repair shares: values read as Windows stores text, and the
// registry views a cleaning step visits.
#pragma once
#include "platform/registry.h"

// Reads a value of the open key as text into `out` (`capacity` bytes, always
// NUL-terminated): its data's bytes up to the first NUL, as a string is
// stored, terminated or not, with or without trailing NULs. Data longer than
// the buffer is read up to it (its first capacity - 1 bytes), never past it.
// `type` (may be null) receives the value's type. False when it cannot be read.
bool readValueText(RegKey key, const char* valueName, uint32_t* type, char* out, uint32_t capacity);

// The registry views of HKEY_LOCAL_MACHINE\Software that a cleaning step
// visits, in order: the one the system's calls reach (a null name), then each
// extra view the platform names ("WOW6432Node").
struct SoftwareViews {
  const char* names[1 + kMaxExtraSoftwareViews];
  int count;
};
SoftwareViews softwareViews();

// Room for any of the repair's key paths in any view.
constexpr size_t kViewKeyPathSize = 160;

// `keyPath` ("Software\A\B") as seen in `view`: the view's key inserted after
// the first name ("Software\WOW6432Node\A\B"); the path itself for a null
// view. False when it does not fit `size` bytes.
bool keyPathInView(const char* keyPath, const char* view, char* out, size_t size);
