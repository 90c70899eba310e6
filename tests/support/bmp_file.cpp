#include "tests/support/bmp_file.h"

#include <fstream>
#include <iterator>

namespace {

class ByteView {
 public:
  explicit ByteView(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool has(size_t offset, size_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  uint32_t le(size_t offset, int size) const {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes_[offset + i];
    return value;
  }
  uint8_t byte(size_t offset) const { return bytes_[offset]; }

 private:
  const std::vector<uint8_t>& bytes_;
};

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

}  // namespace

bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool readBmp(const std::string& path, BmpImage& image, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!readFileBytes(path, bytes)) {
    error = path + ": cannot be opened";
    return false;
  }
  const ByteView view(bytes);
  if (!view.has(0, kFileHeaderSize + kInfoHeaderSize) || view.le(0, 2) != 0x4D42) {
    error = path + ": not a BMP file";
    return false;
  }
  const uint32_t pixelOffset = view.le(10, 4);
  const uint32_t headerSize = view.le(14, 4);
  const int32_t width = static_cast<int32_t>(view.le(18, 4));
  const int32_t rawHeight = static_cast<int32_t>(view.le(22, 4));
  const int bits = static_cast<int>(view.le(28, 2));
  const uint32_t compression = view.le(30, 4);
  uint32_t colours = view.le(46, 4);
  if (headerSize < kInfoHeaderSize || compression != 0 || (bits != 8 && bits != 24) ||
      width <= 0 || width > 4096 || rawHeight == 0 || rawHeight < -4096 || rawHeight > 4096) {
    error = path + ": not an uncompressed 8- or 24-bit bitmap";
    return false;
  }
  const int height = rawHeight < 0 ? -rawHeight : rawHeight;
  image = BmpImage{width, height, bits, {}, {}};
  if (bits == 8) {
    if (colours == 0) colours = 256;
    const size_t tableOffset = kFileHeaderSize + headerSize;
    if (colours > 256 || !view.has(tableOffset, colours * 4)) {
      error = path + ": colour table out of range";
      return false;
    }
    for (uint32_t i = 0; i < colours; ++i) {
      const size_t entry = tableOffset + i * 4;
      image.palette.push_back({view.byte(entry + 2), view.byte(entry + 1), view.byte(entry)});
    }
  }
  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  if (!view.has(pixelOffset, stride * height)) {
    error = path + ": pixel data out of range";
    return false;
  }
  image.pixels.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const int stored = rawHeight > 0 ? height - 1 - y : y;
    const size_t row = pixelOffset + stride * stored;
    for (int x = 0; x < width; ++x) {
      if (bits == 24) {
        const size_t p = row + static_cast<size_t>(x) * 3;
        image.pixels.push_back({view.byte(p + 2), view.byte(p + 1), view.byte(p)});
        continue;
      }
      const uint8_t index = view.byte(row + x);
      if (index >= image.palette.size()) {
        error = path + ": pixel outside the colour table";
        return false;
      }
      image.pixels.push_back(image.palette[index]);
    }
  }
  return true;
}
