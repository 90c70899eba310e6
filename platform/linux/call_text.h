// Texts the platform calls hand back, as their Windows namesakes do: shared
// by the Linux platform (with the hives of an offline installation) and the
// simulated machine of the tests.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/registry.h"

// A folder or path as GetWindowsDirectory and its kin return it: copied with
// its terminator when it fits, returning its length (without); else the size
// it needs (with).
inline uint32_t copyOutText(const std::string& value, char* out, uint32_t capacity) {
  if (value.size() + 1 > capacity) return static_cast<uint32_t>(value.size() + 1);
  std::memcpy(out, value.c_str(), value.size() + 1);
  return static_cast<uint32_t>(value.size());
}

// A key's or value's name as the enumeration calls return it: copied with its
// terminator when it fits, its length (without) in *nameLength.
inline long copyRegistryName(const std::string& source, char* name, uint32_t* nameLength) {
  if (source.size() + 1 > *nameLength) return kErrorMoreData;
  std::memcpy(name, source.c_str(), source.size() + 1);
  *nameLength = static_cast<uint32_t>(source.size());
  return kErrorSuccess;
}

// Expands each %name% of `source` whose value `lookup(name, &value)` gives,
// leaving the rest as written, as ExpandEnvironmentStrings does. The result
// goes to `out` when it fits in `capacity` with its terminator; returns the
// size it needs, terminator included.
template <typename Lookup>
uint32_t expandVariables(const char* source, char* out, uint32_t capacity, Lookup lookup) {
  std::string expanded;
  for (const char* p = source; *p;) {
    const char* close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
    std::string value;
    if (close && close > p + 1 && lookup(std::string(p + 1, close), &value)) {
      expanded += value;
      p = close + 1;
      continue;
    }
    expanded += *p++;
  }
  const uint32_t needed = static_cast<uint32_t>(expanded.size() + 1);
  if (needed <= capacity) std::memcpy(out, expanded.c_str(), needed);
  return needed;
}
