// Text in offline registry hives. Hives store strings as UTF-16LE; the native
// build hands them to the system as UTF-8, the encoding of the host's file
// names, so that a path read from a hive compares equal to the path the walk
// found. Embedded and trailing NUL characters are kept as they are.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// UTF-16LE bytes to UTF-8. An odd trailing byte is dropped; an unpaired
// surrogate becomes U+FFFD.
std::string utf16ToUtf8(const uint8_t* data, size_t length);

// UTF-8 to UTF-16LE bytes. A byte that does not start a valid UTF-8 sequence
// is taken as the Latin-1 character of the same value.
std::vector<uint8_t> utf8ToUtf16(const std::string& text);

// The key names of a registry path ("A\\B\\C"), empty names (doubled or
// leading and trailing backslashes) left out.
std::vector<std::string> splitKeyPath(const std::string& path);
