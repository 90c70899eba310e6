// Tracing a window outline from a bitmap: every run of pixels, one row high,
// that is (or is not) of a key colour becomes one rectangle. The runs are
// collected in a region-data block (header and rectangles, the layout that
// ExtCreateRegion takes) and handed on in batches. Portable: the pixels come
// from a plain array, the block's memory and the batches' use from a target.
#pragma once
#include <cstddef>
#include <cstdint>

struct RegionRect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

// The 32-byte header of a region-data block (RGNDATAHEADER).
struct RegionDataHeader {
  uint32_t size;        // 32
  uint32_t type;        // 1: rectangles
  uint32_t count;       // rectangles now in the block
  uint32_t regionSize;  // 0
  RegionRect bound;     // bounding box of those rectangles
};
static_assert(sizeof(RegionDataHeader) == 32, "the header is 32 bytes");
static_assert(sizeof(RegionRect) == 16, "a rectangle is 16 bytes");

constexpr uint32_t kRegionCapacityStep = 100;   // rectangles added per growth
constexpr uint32_t kRegionBatchLimit = 2000;    // a batch is flushed at this count

// 32-bit pixels (byte 0 blue, 1 green, 2 red, 3 ignored). `topRow` is the
// image's top row; `stride` the byte distance to the next row down (negative
// for a bottom-up bitmap).
struct PixelImage {
  int width;
  int height;
  const uint8_t* topRow;
  ptrdiff_t stride;
};

// Where the block lives and where its batches go.
class RegionBatchTarget {
 public:
  virtual ~RegionBatchTarget() = default;
  // Gives the block `bytes` bytes, keeping its content (`block` null: a new
  // block). Returns its address, or null when the memory cannot be had, in
  // which case the old block stays as it was.
  virtual uint8_t* resizeBlock(uint8_t* block, size_t bytes) = 0;
  // Makes a partial region of the block's `bytes` bytes (header first) and
  // adds it to the result.
  virtual void flushBatch(const uint8_t* block, size_t bytes) = 0;
  // Frees the block.
  virtual void freeBlock(uint8_t* block) = 0;
};

// Traces `image`: with `keyTransparent`, the pixels whose blue, green and red
// bytes differ from those of `key` (0x00RRGGBB) are inside; otherwise exactly
// the matching ones. Flushes each 2000 rectangles and once after the last
// row (even with none). False when the block could not be had or grown; the
// target's result is then incomplete.
bool traceRegionRuns(const PixelImage& image, uint32_t key, bool keyTransparent,
                     RegionBatchTarget& target);
