#include <algorithm>
#include <cstdint>
#include <vector>

#include "res/resource.h"
#include "tests/win32/gui/gui_remote.h"
#include "tests/win32/gui/pixels.h"

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
    // The program's bitmaps are linked into this tool as well.
    BitmapPixels bitmap = loadBitmapPixels(MAKEINTRESOURCEA(icon.id));
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
