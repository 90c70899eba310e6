#include "repair/registry_values.h"

#include <cstring>
#include <vector>

namespace {

// Larger data is no start-up command or path: it is not read at all.
constexpr uint32_t kLargestReadable = 1u << 20;

}  // namespace

bool readValueText(RegKey key, const char* valueName, uint32_t* type, char* out,
                   uint32_t capacity) {
  if (capacity == 0) return false;
  std::memset(out, 0, capacity);
  uint32_t size = 0;
  if (regQueryValueEx(key, valueName, type, nullptr, &size) != kErrorSuccess) return false;
  if (size < capacity) {
    // Fits with room for a terminator after it, whatever the data holds.
    uint32_t got = size;
    if (size > 0 && regQueryValueEx(key, valueName, nullptr, reinterpret_cast<uint8_t*>(out),
                                    &got) != kErrorSuccess)
      return false;
    out[capacity - 1] = 0;
    return true;
  }
  if (size > kLargestReadable) return false;
  std::vector<uint8_t> whole(size);
  uint32_t got = size;
  if (regQueryValueEx(key, valueName, nullptr, whole.data(), &got) != kErrorSuccess) return false;
  std::memcpy(out, whole.data(), got < capacity - 1 ? got : capacity - 1);
  out[capacity - 1] = 0;
  return true;
}

SoftwareViews softwareViews() {
  SoftwareViews views = {};
  views.names[0] = nullptr;
  views.count = 1 + regExtraSoftwareViews(views.names + 1, kMaxExtraSoftwareViews);
  return views;
}

bool keyPathInView(const char* keyPath, const char* view, char* out, size_t size) {
  const size_t length = std::strlen(keyPath);
  if (!view) {
    if (length >= size) return false;
    std::memcpy(out, keyPath, length + 1);
    return true;
  }
  const char* slash = std::strchr(keyPath, '\\');
  const size_t head = slash ? static_cast<size_t>(slash - keyPath) : length;
  const size_t viewLength = std::strlen(view);
  if (length + 1 + viewLength >= size) return false;
  std::memcpy(out, keyPath, head);
  out[head] = '\\';
  std::memcpy(out + head + 1, view, viewLength);
  std::memcpy(out + head + 1 + viewLength, keyPath + head, length - head + 1);
  return true;
}
