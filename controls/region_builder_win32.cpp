#include "controls/region_builder_win32.h"

#include "controls/region_builder.h"
#include "framework/gdi.h"

namespace {

// The rectangle block in moveable global memory, and the region its batches
// add up to.
class GdiRegionTarget : public RegionBatchTarget {
 public:
  uint8_t* resizeBlock(uint8_t* block, size_t bytes) override {
    if (!block) {
      m_memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
      return m_memory ? static_cast<uint8_t*>(::GlobalLock(m_memory)) : nullptr;
    }
    ::GlobalUnlock(m_memory);
    HGLOBAL grown = ::GlobalReAlloc(m_memory, bytes, GMEM_MOVEABLE);
    if (grown) m_memory = grown;
    uint8_t* address = static_cast<uint8_t*>(::GlobalLock(m_memory));
    return grown ? address : nullptr;
  }
  void flushBatch(const uint8_t* block, size_t bytes) override {
    HRGN part = ::ExtCreateRegion(nullptr, static_cast<DWORD>(bytes),
                                  reinterpret_cast<const RGNDATA*>(block));
    if (!part) return;  // this batch's runs are missing from the result
    CRgn owned(part);
    if (!m_result) {
      m_result.Attach(owned.release());
      return;
    }
    ::CombineRgn(m_result, m_result, owned, RGN_OR);
  }
  void freeBlock(uint8_t*) override {
    ::GlobalUnlock(m_memory);
    ::GlobalFree(m_memory);
    m_memory = nullptr;
  }
  HRGN release() { return m_result.release(); }

 private:
  HGLOBAL m_memory = nullptr;
  CRgn m_result;
};

// A 32-bit bottom-up copy of `width` x `height` pixels.
HBITMAP createPixelCopy(HDC dc, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

HRGN CreateRegionFromBitmap(HBITMAP hBitmap, COLORREF crKey, BOOL bKeyTransparent) {
  if (!hBitmap) return nullptr;
  MemoryDC copyDC;
  if (!copyDC) return nullptr;
  BITMAP source = {};
  if (!::GetObjectA(hBitmap, sizeof source, &source)) return nullptr;
  CBitmap copy(createPixelCopy(copyDC, source.bmWidth, source.bmHeight));
  if (!copy) return nullptr;
  SelectScope copySelected(copyDC, copy);
  MemoryDC sourceDC(static_cast<HDC>(copyDC));
  if (!sourceDC) return nullptr;

  BITMAP pixels = {};
  ::GetObjectA(copy, sizeof pixels, &pixels);
  ptrdiff_t stride = (pixels.bmWidthBytes + 3) & ~3;
  {
    SelectScope sourceSelected(sourceDC, hBitmap);
    ::BitBlt(copyDC, 0, 0, source.bmWidth, source.bmHeight, sourceDC, 0, 0, SRCCOPY);
  }
  ::GdiFlush();  // the copy's memory is read directly below

  const uint8_t* bits = static_cast<const uint8_t*>(pixels.bmBits);
  PixelImage image = {source.bmWidth, source.bmHeight,
                      bits + stride * (source.bmHeight - 1), -stride};
  GdiRegionTarget target;
  // A block that cannot grow leaves a partial outline: give up on the region.
  if (!traceRegionRuns(image, crKey, bKeyTransparent != 0, target)) return nullptr;
  return target.release();
}
