// ASCII letter case, the way Windows compares file, key and value names the
// system deals with: only A-Z and a-z fold, whatever the C locale, and bytes
// above 0x7F compare as they are.
#pragma once
#include <cstddef>

inline char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The first `length` characters of `a` and `b` are equal ignoring letter
// case (both end together when one ends first).
inline bool asciiEqualNoCaseN(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    if (!a[i]) return true;
  }
  return true;
}

// `a` and `b` are equal ignoring letter case.
inline bool asciiEqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (asciiUpper(*a) != asciiUpper(*b)) return false;
    if (!*a) return true;
  }
}
