// The main window's skin on the screen: its bands, the painted title line,
// and nothing of the window outside the skin's outline.
#include <windows.h>

#include "controls/region_builder_win32.h"
#include "tests/win32/gui/gui_test_support.h"

namespace {

class Skin : public GuiTest {};

// The screen point of client position (x, y) of `window`.
POINT onScreen(HWND window, int x, int y) {
  POINT point = {x, y};
  ClientToScreen(window, &point);
  return point;
}

bool bluish(COLORREF colour) { return GetBValue(colour) > GetRValue(colour) + 40; }
int brightness(COLORREF colour) { return GetRValue(colour) + GetGValue(colour) + GetBValue(colour); }

TEST_F(Skin, PaintsItsBandsTitleAndOutline) {
  // The screen before the window is there.
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  Capture before = captureScreenNow(screen);
  UiThread ui(runMainDialog);
  HWND main = waitForMainDialog(ui);
  ASSERT_TRUE(main);
  Capture shot = captureScreen(ui, screen);

  auto at = [&](int x, int y) {
    POINT point = onScreen(main, x, y);
    return shot.at(point.x, point.y);
  };
  EXPECT_EQ(at(450, 15), RGB(2, 77, 246)) << "the header band";
  EXPECT_EQ(at(260, 90), RGB(207, 233, 254)) << "the body";
  EXPECT_EQ(at(40, 200), RGB(255, 255, 255)) << "the white panel";
  COLORREF footerTop = at(300, 318), footerBottom = at(300, 335);
  EXPECT_TRUE(bluish(footerTop) && bluish(footerBottom));
  EXPECT_LT(brightness(footerTop), brightness(footerBottom)) << "the footer shades dark to light";

  // The title line: white type on the skin's blue.
  HWND label = item(main, IDC_FAMILY_LABEL);
  RECT labelRect = windowRect(label);
  int white = 0, blue = 0, other = 0;
  for (int y = labelRect.top; y < labelRect.bottom; ++y)
    for (int x = labelRect.left; x < labelRect.right; ++x) {
      COLORREF pixel = shot.at(x, y);
      if (pixel == RGB(255, 255, 255)) ++white;
      else if (pixel == RGB(2, 77, 246)) ++blue;
      else ++other;
    }
  EXPECT_GT(white, 100) << "white letters";
  EXPECT_GT(blue, white) << "on blue";

  // Outside the outline (527 x 338) the screen shows what it showed before.
  RECT rect = windowRect(main);
  int drawn = 0;
  for (int y = rect.top; y < rect.bottom; y += 3)
    for (int x = rect.left; x < rect.right; x += 3) {
      bool inside = x - rect.left < 527 && y - rect.top < 338;
      if (!inside && shot.at(x, y) != before.at(x, y)) ++drawn;
    }
  EXPECT_EQ(drawn, 0) << "pixels of the window outside its skin";
  ui.closeBox(main);
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

// The outline of a picture with magenta holes, traced by the real GDI: the
// holes are cut out, everything else (other colours close to magenta too)
// stays, and a picture of magenta alone gives an empty outline.
TEST_F(Skin, TheOutlineCutsOutExactlyTheMagentaPixels) {
  constexpr int kWidth = 40, kHeight = 30;
  auto isHole = [](int x, int y) { return (x >= 5 && x < 12 && y >= 3 && y < 9) || (x == 39 && y == 29); };
  HDC screen = GetDC(nullptr);
  HBITMAP picture = CreateCompatibleBitmap(screen, kWidth, kHeight);
  HDC pictureDC = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(pictureDC, picture);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      SetPixelV(pictureDC, x, y, isHole(x, y) ? RGB(255, 0, 255) : (x == 20 ? RGB(255, 0, 254) : RGB(2, 77, 246)));
  SelectObject(pictureDC, old);

  HRGN outline = CreateRegionFromBitmap(picture, RGB(255, 0, 255), TRUE);
  ASSERT_TRUE(outline);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(PtInRegion(outline, x, y) != 0, !isHole(x, y)) << x << "," << y;
  EXPECT_FALSE(PtInRegion(outline, kWidth, 0)) << "nothing beyond the picture";
  DeleteObject(outline);

  // Opaque key: exactly the holes.
  HRGN holes = CreateRegionFromBitmap(picture, RGB(255, 0, 255), FALSE);
  ASSERT_TRUE(holes);
  RECT box;
  EXPECT_EQ(GetRgnBox(holes, &box), COMPLEXREGION);
  EXPECT_TRUE(box.left == 5 && box.top == 3 && box.right == 40 && box.bottom == 30);
  DeleteObject(holes);

  // All magenta: an empty region, not none.
  old = SelectObject(pictureDC, picture);
  RECT all = {0, 0, kWidth, kHeight};
  HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(pictureDC, &all, magenta);
  DeleteObject(magenta);
  SelectObject(pictureDC, old);
  HRGN empty = CreateRegionFromBitmap(picture, RGB(255, 0, 255), TRUE);
  ASSERT_TRUE(empty);
  EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
  DeleteObject(empty);

  EXPECT_EQ(CreateRegionFromBitmap(nullptr, RGB(255, 0, 255), TRUE), nullptr);
  DeleteDC(pictureDC);
  DeleteObject(picture);
  ReleaseDC(nullptr, screen);
}

}  // namespace
