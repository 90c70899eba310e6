// The window outline traced from a skin: which pixels end up in the region,
// and how the runs are batched and the rectangle block grows.
#include "controls/region_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kMagenta = 0x00FF00FF;
constexpr uint32_t kBody = 0x00CFE9FE;

// A W x H picture of 0x00RRGGBB pixels, stored top row first or bottom-up.
struct Picture {
  int width, height;
  std::vector<uint32_t> pixels;  // top row first
  Picture(int w, int h, uint32_t fill) : width(w), height(h), pixels(size_t(w) * h, fill) {}
  uint32_t& at(int x, int y) { return pixels[size_t(y) * width + x]; }
  PixelImage image() const {
    return {width, height, reinterpret_cast<const uint8_t*>(pixels.data()),
            static_cast<ptrdiff_t>(width * 4)};
  }
};

// Keeps the block in a vector and records every batch it is handed.
class RecordingTarget : public RegionBatchTarget {
 public:
  struct Batch {
    size_t bytes;
    RegionDataHeader header;
    std::vector<RegionRect> rects;
  };
  std::vector<Batch> batches;
  std::vector<size_t> blockSizes;  // every size the block was given
  size_t failAbove = SIZE_MAX;     // refuse to grow the block past this size
  bool freed = false;

  uint8_t* resizeBlock(uint8_t*, size_t bytes) override {
    if (bytes > failAbove) return nullptr;
    block_.resize(bytes);
    blockSizes.push_back(bytes);
    return block_.data();
  }
  void flushBatch(const uint8_t* block, size_t bytes) override {
    Batch batch;
    batch.bytes = bytes;
    std::memcpy(&batch.header, block, sizeof batch.header);
    batch.rects.resize(batch.header.count);
    std::memcpy(batch.rects.data(), block + sizeof batch.header,
                batch.header.count * sizeof(RegionRect));
    batches.push_back(batch);
  }
  void freeBlock(uint8_t*) override { freed = true; }

  std::vector<RegionRect> allRects() const {
    std::vector<RegionRect> all;
    for (const Batch& batch : batches) all.insert(all.end(), batch.rects.begin(), batch.rects.end());
    return all;
  }
  // The pixels the union of all rectangles covers.
  std::vector<bool> covered(int width, int height) const {
    std::vector<bool> grid(size_t(width) * height, false);
    for (const RegionRect& r : allRects())
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) grid[size_t(y) * width + x] = true;
    return grid;
  }

 private:
  std::vector<uint8_t> block_;
};

bool sameRect(const RegionRect& a, const RegionRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(RegionBuilder, SkinWithoutKeyColourIsItsWholeRectangle) {
  Picture skin(527, 338, kBody);
  RecordingTarget target;
  ASSERT_TRUE(traceRegionRuns(skin.image(), kMagenta, true, target));
  std::vector<RegionRect> rects = target.allRects();
  ASSERT_EQ(rects.size(), 338u);  // one full-width run per row
  for (int y = 0; y < 338; ++y) EXPECT_TRUE(sameRect(rects[y], {0, y, 527, y + 1})) << y;
  EXPECT_TRUE(target.freed);
}

TEST(RegionBuilder, KeyOnlyPictureFlushesOnceWithNothing) {
  Picture cut(40, 30, kMagenta);
  RecordingTarget target;
  ASSERT_TRUE(traceRegionRuns(cut.image(), kMagenta, true, target));
  ASSERT_EQ(target.batches.size(), 1u);  // the final flush: an empty region, not none
  EXPECT_EQ(target.batches[0].header.count, 0u);
  EXPECT_EQ(target.batches[0].header.size, 32u);
  EXPECT_EQ(target.batches[0].header.type, 1u);
  EXPECT_EQ(target.batches[0].header.bound.left, 0x7FFFFFFF);
}

// Which pixels are inside: exact matching, the key's byte order, and the
// edges of a row.
struct PixelCase {
  const char* what;
  uint32_t pixel;      // the one odd pixel, at (x, y)
  int x, y;
  uint32_t key;
  bool keyTransparent;
  std::vector<RegionRect> expected;
};

class RegionPixels : public ::testing::TestWithParam<PixelCase> {};

TEST_P(RegionPixels, GiveTheseRuns) {
  const PixelCase& c = GetParam();
  Picture picture(6, 3, kMagenta);
  picture.at(c.x, c.y) = c.pixel;
  RecordingTarget target;
  ASSERT_TRUE(traceRegionRuns(picture.image(), c.key, c.keyTransparent, target));
  std::vector<RegionRect> rects = target.allRects();
  ASSERT_EQ(rects.size(), c.expected.size()) << c.what;
  for (size_t i = 0; i < rects.size(); ++i) EXPECT_TRUE(sameRect(rects[i], c.expected[i])) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionPixels,
    ::testing::Values(
        PixelCase{"a single inside pixel", kBody, 2, 1, kMagenta, true, {{2, 1, 3, 2}}},
        PixelCase{"a run ending at the right edge", kBody, 5, 2, kMagenta, true, {{5, 2, 6, 3}}},
        PixelCase{"one step off in red is not the key", 0x00FE00FF, 0, 0, kMagenta, true,
                  {{0, 0, 1, 1}}},
        PixelCase{"one step off in blue is not the key", 0x00FF00FE, 4, 0, kMagenta, true,
                  {{4, 0, 5, 1}}},
        // Key 0x000000FF is blue 255 with green and red 0: only the pure blue
        // pixel matches, and with the key opaque it alone is the region.
        PixelCase{"key bytes are blue, green, red", 0x000000FF, 3, 1, 0x000000FF, false,
                  {{3, 1, 4, 2}}},
        PixelCase{"the top byte of the key is ignored", kBody, 1, 0, 0xAA000000 | kMagenta, true,
                  {{1, 0, 2, 1}}}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(RegionBuilder, OpaqueKeyGivesTheComplement) {
  Picture picture(23, 17, kBody);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x)
      if ((x * 7 + y * 3) % 5 == 0 || x == y) picture.at(x, y) = kMagenta;
  RecordingTarget cut, kept;
  ASSERT_TRUE(traceRegionRuns(picture.image(), kMagenta, true, cut));
  ASSERT_TRUE(traceRegionRuns(picture.image(), kMagenta, false, kept));
  std::vector<bool> a = cut.covered(23, 17), b = kept.covered(23, 17);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x) {
      bool key = picture.at(x, y) == kMagenta;
      EXPECT_EQ(a[size_t(y) * 23 + x], !key) << x << "," << y;
      EXPECT_EQ(b[size_t(y) * 23 + x], key) << x << "," << y;
    }
}

TEST(RegionBuilder, BottomUpRowsAreTracedTopRowFirst) {
  // A bottom-up bitmap: memory holds the bottom row first.
  Picture picture(4, 3, kMagenta);
  picture.at(1, 0) = kBody;  // top row
  std::vector<uint32_t> bottomUp(picture.pixels.rbegin(), picture.pixels.rend());
  for (int y = 0; y < 3; ++y)  // reverse rows, not pixels within a row
    std::copy(picture.pixels.begin() + y * 4, picture.pixels.begin() + y * 4 + 4,
              bottomUp.begin() + (2 - y) * 4);
  const uint8_t* bits = reinterpret_cast<const uint8_t*>(bottomUp.data());
  PixelImage image = {4, 3, bits + 2 * 16, -16};
  RecordingTarget target;
  ASSERT_TRUE(traceRegionRuns(image, kMagenta, true, target));
  ASSERT_EQ(target.allRects().size(), 1u);
  EXPECT_TRUE(sameRect(target.allRects()[0], {1, 0, 2, 1}));
}

// A picture with `runs` one-pixel runs: every other pixel is the key.
Picture stripes(int runs) {
  Picture picture(100, (runs + 49) / 50, kMagenta);
  for (int i = 0; i < runs; ++i) picture.at((i % 50) * 2, i / 50) = kBody;
  return picture;
}

TEST(RegionBuilder, BatchesOf2000WithAGrowingBlock) {
  struct Case {
    int runs;
    std::vector<uint32_t> batchCounts;
  };
  for (const Case& c : {Case{2000, {2000, 0}}, Case{4500, {2000, 2000, 500}}, Case{99, {99}}}) {
    Picture picture = stripes(c.runs);
    RecordingTarget target;
    ASSERT_TRUE(traceRegionRuns(picture.image(), kMagenta, true, target));
    std::vector<uint32_t> counts;
    for (const auto& batch : target.batches) counts.push_back(batch.header.count);
    EXPECT_EQ(counts, c.batchCounts) << c.runs << " runs";
    EXPECT_EQ(target.allRects().size(), size_t(c.runs));
    // The block starts with room for 100 rectangles and grows by 100 up to 2000.
    ASSERT_FALSE(target.blockSizes.empty());
    EXPECT_EQ(target.blockSizes.front(), 32u + 100 * 16);
    for (size_t i = 1; i < target.blockSizes.size(); ++i)
      EXPECT_EQ(target.blockSizes[i], target.blockSizes[i - 1] + 1600);
    EXPECT_LE(target.blockSizes.back(), 32u + 2000 * 16);
    // Each batch carries its bounding box, and is handed over whole.
    for (const auto& batch : target.batches) {
      EXPECT_EQ(batch.bytes, target.blockSizes.back());
      if (batch.header.count == 0) continue;
      RegionRect bound = {0x7FFFFFFF, 0x7FFFFFFF, 0, 0};
      for (const RegionRect& r : batch.rects) {
        bound.left = std::min(bound.left, r.left);
        bound.top = std::min(bound.top, r.top);
        bound.right = std::max(bound.right, r.right);
        bound.bottom = std::max(bound.bottom, r.bottom);
      }
      EXPECT_TRUE(sameRect(batch.header.bound, bound));
    }
  }
}

TEST(RegionBuilder, ABlockThatCannotGrowGivesUp) {
  Picture picture = stripes(150);
  RecordingTarget target;
  target.failAbove = 32 + 100 * 16;
  EXPECT_FALSE(traceRegionRuns(picture.image(), kMagenta, true, target));
  EXPECT_TRUE(target.batches.empty());
  EXPECT_TRUE(target.freed);
}

}  // namespace
