#include <algorithm>
#include <cstdint>
#include <vector>

#include "res/resource.h"
#include "tests/win32/gui/gui_remote.h"

namespace {

// Pixels of a screen area as 0x00RRGGBB, top-down.
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

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

// A bitmap of the program's resources (linked into this tool as well), loaded
// the way the question loads its icon.
Picture loadBitmap(int id) {
  Picture picture;
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                                   IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
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

}  // namespace

const char* iconShown(HWND picture) {
  struct Icon {
    int id;
    const char* name;
  };
  const Icon icons[] = {{IDB_ICON_INFORMATION, "information"}, {IDB_ICON_QUESTION, "question"},
                        {IDB_ICON_WARNING, "warning"}, {IDB_ICON_ERROR, "error"}};
  RECT client = {};
  GetClientRect(picture, &client);
  POINT origin = {0, 0};
  ClientToScreen(picture, &origin);
  HDC screen = GetDC(nullptr);
  std::vector<uint32_t> shot = readPixels(screen, origin.x, origin.y, client.right, client.bottom);
  ReleaseDC(nullptr, screen);
  for (const Icon& icon : icons) {
    Picture bitmap = loadBitmap(icon.id);
    int width = std::min<int>(bitmap.width, client.right);
    int height = std::min<int>(bitmap.height, client.bottom);
    if (width <= 0 || height <= 0) continue;
    bool same = true;
    for (int y = 0; y < height && same; ++y)
      for (int x = 0; x < width && same; ++x)
        same = shot[size_t(y) * client.right + x] == bitmap.pixels[size_t(y) * bitmap.width + x];
    if (same) return icon.name;
  }
  return "none";
}
