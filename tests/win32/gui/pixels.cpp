#include "tests/win32/gui/pixels.h"

std::vector<uint32_t> readPixels(HDC source, int left, int top, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP copy = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC copyDC = CreateCompatibleDC(source);
  HGDIOBJ old = SelectObject(copyDC, copy);
  BitBlt(copyDC, 0, 0, width, height, source, left, top, SRCCOPY);
  GdiFlush();
  const uint32_t* words = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> pixels(words, words + size_t(width) * height);
  for (uint32_t& pixel : pixels) pixel &= 0x00FFFFFF;
  SelectObject(copyDC, old);
  DeleteDC(copyDC);
  DeleteObject(copy);
  return pixels;
}

BitmapPixels loadBitmapPixels(const char* name) {
  BitmapPixels picture;
  HBITMAP bitmap = static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
  if (!bitmap) return picture;
  BITMAP size = {};
  GetObjectA(bitmap, sizeof size, &size);
  HDC screen = GetDC(nullptr);
  HDC bitmapDC = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(bitmapDC, bitmap);
  picture.pixels = readPixels(bitmapDC, 0, 0, size.bmWidth, size.bmHeight);
  picture.width = size.bmWidth;
  picture.height = size.bmHeight;
  SelectObject(bitmapDC, old);
  DeleteDC(bitmapDC);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return picture;
}
