// The main window's skin on the screen: its bands, the painted title line,
// and nothing of the window outside the skin's outline.
#include <windows.h>

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

}  // namespace
