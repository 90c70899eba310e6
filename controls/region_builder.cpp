#include "controls/region_builder.h"

#include <cstring>

namespace {

constexpr RegionRect kEmptyBound = {0x7FFFFFFF, 0x7FFFFFFF, 0, 0};

size_t blockBytes(uint32_t capacity) {
  return sizeof(RegionDataHeader) + sizeof(RegionRect) * capacity;
}

// The growing block of one trace, and its batches.
class RunCollector {
 public:
  explicit RunCollector(RegionBatchTarget& target) : m_target(target) {}
  ~RunCollector() {
    if (m_block) m_target.freeBlock(m_block);
  }
  RunCollector(const RunCollector&) = delete;
  RunCollector& operator=(const RunCollector&) = delete;

  bool start() {
    m_capacity = kRegionCapacityStep;
    m_block = m_target.resizeBlock(nullptr, blockBytes(m_capacity));
    if (!m_block) return false;
    RegionDataHeader header = {sizeof(RegionDataHeader), 1, 0, 0, kEmptyBound};
    std::memcpy(m_block, &header, sizeof header);
    return true;
  }

  bool append(int32_t left, int32_t top, int32_t right) {
    RegionDataHeader header;
    std::memcpy(&header, m_block, sizeof header);
    if (header.count >= m_capacity) {
      uint8_t* grown = m_target.resizeBlock(m_block, blockBytes(m_capacity + kRegionCapacityStep));
      if (!grown) return false;
      m_block = grown;
      m_capacity += kRegionCapacityStep;
    }
    RegionRect rect = {left, top, right, top + 1};
    std::memcpy(m_block + blockBytes(header.count), &rect, sizeof rect);
    if (left < header.bound.left) header.bound.left = left;
    if (top < header.bound.top) header.bound.top = top;
    if (right > header.bound.right) header.bound.right = right;
    if (top + 1 > header.bound.bottom) header.bound.bottom = top + 1;
    ++header.count;
    std::memcpy(m_block, &header, sizeof header);
    if (header.count == kRegionBatchLimit) flush();
    return true;
  }

  // The size handed on covers the whole block; the header's count tells how
  // many rectangles are in it.
  void flush() {
    m_target.flushBatch(m_block, blockBytes(m_capacity));
    RegionDataHeader header;
    std::memcpy(&header, m_block, sizeof header);
    header.count = 0;
    header.bound = kEmptyBound;
    std::memcpy(m_block, &header, sizeof header);
  }

 private:
  RegionBatchTarget& m_target;
  uint8_t* m_block = nullptr;
  uint32_t m_capacity = 0;
};

}  // namespace

bool traceRegionRuns(const PixelImage& image, uint32_t key, bool keyTransparent,
                     RegionBatchTarget& target) {
  RunCollector runs(target);
  if (!runs.start()) return false;
  const uint8_t keyBlue = key & 0xFF, keyGreen = (key >> 8) & 0xFF, keyRed = (key >> 16) & 0xFF;
  auto inside = [&](const uint8_t* pixel) {
    bool matches = pixel[0] == keyBlue && pixel[1] == keyGreen && pixel[2] == keyRed;
    return keyTransparent ? !matches : matches;
  };
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = image.topRow + image.stride * y;
    int x = 0;
    while (x < image.width) {
      int start = x;
      while (x < image.width && inside(row + 4 * x)) ++x;
      if (x > start && !runs.append(start, y, x)) return false;
      ++x;  // past the pixel that ended the run, or past the edge
    }
  }
  runs.flush();
  return true;
}
