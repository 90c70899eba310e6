// Reading pixels for the GUI checks, in and out of the program's process.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

// Pixels of an area of `source` (the screen, or a bitmap selected into a
// memory context) as 0x00RRGGBB, top-down, row after row.
std::vector<uint32_t> readPixels(HDC source, int left, int top, int width, int height);

// A bitmap resource of the running program, loaded the way the dialogs load
// theirs (LR_LOADMAP3DCOLORS); 0 x 0 and no pixels when it does not load.
struct BitmapPixels {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};
BitmapPixels loadBitmapPixels(const char* name);
