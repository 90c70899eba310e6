#include "platform/offline/hive_text.h"

namespace {

void appendUtf8(std::string* out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out->push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

void appendUtf16(std::vector<uint8_t>* out, uint32_t codePoint) {
  auto unit = [out](uint32_t value) {
    out->push_back(static_cast<uint8_t>(value & 0xFF));
    out->push_back(static_cast<uint8_t>(value >> 8));
  };
  if (codePoint < 0x10000) {
    unit(codePoint);
  } else {
    codePoint -= 0x10000;
    unit(0xD800 | (codePoint >> 10));
    unit(0xDC00 | (codePoint & 0x3FF));
  }
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Decodes one UTF-8 sequence at text[i]; its length, or 0 when it is not a
// valid, shortest-form sequence.
size_t decodeUtf8(const std::string& text, size_t i, uint32_t* codePoint) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                  : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if (!isContinuation(next)) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
    return 0;
  *codePoint = value;
  return length;
}

}  // namespace

std::string utf16ToUtf8(const uint8_t* data, size_t length) {
  std::string out;
  out.reserve(length / 2);
  const size_t units = length / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t unit = data[2 * i] | (static_cast<uint32_t>(data[2 * i + 1]) << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
      uint32_t low = data[2 * i + 2] | (static_cast<uint32_t>(data[2 * i + 3]) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        appendUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    appendUtf8(&out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
  }
  return out;
}

std::vector<uint8_t> utf8ToUtf16(const std::string& text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size();) {
    uint32_t codePoint = 0;
    size_t length = decodeUtf8(text, i, &codePoint);
    if (length == 0) {
      codePoint = static_cast<unsigned char>(text[i]);
      length = 1;
    }
    appendUtf16(&out, codePoint);
    i += length;
  }
  return out;
}

std::vector<std::string> splitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}
