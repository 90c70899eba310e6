// The window outline of a skin bitmap, as a region.
#pragma once
#include <windows.h>

// A region of `hBitmap`'s pixels (top-left origin) made of the pixels that do
// not match `crKey` (0x00RRGGBB) when `bKeyTransparent` is non-zero, of those
// that do otherwise. The caller owns it. Null when the bitmap is null, when
// no working copy could be made, or when no batch of runs became a region.
HRGN CreateRegionFromBitmap(HBITMAP hBitmap, COLORREF crKey, BOOL bKeyTransparent);
