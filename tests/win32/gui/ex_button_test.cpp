// The bitmap buttons as a person sees them: plain, highlighted by the mouse or
// the focus, disabled; the hover's hand-over from one button to the next;
// the pointer over them.
#include <windows.h>

#include "tests/win32/gui/gui_test_support.h"

namespace {

class Buttons : public GuiTest {};

// Which picture each button shows on the screen now.
void expectPictures(UiThread& ui, HWND main, std::initializer_list<std::pair<int, const char*>> expected) {
  Capture shot = captureScreen(ui, windowRect(main));
  for (const auto& [id, picture] : expected)
    EXPECT_EQ(differingPixels(shot, item(main, id), loadBitmapResource(picture)), 0)
        << "button " << id << " should show " << picture;
}

HWND captureOf(const UiThread& ui) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(ui.threadId(), &info);
  return info.hwndCapture;
}

// The mouse moving to (x, y) of `button`'s own client area, delivered where
// the system would: to the window that holds the capture, if any.
void moveMouse(UiThread& ui, HWND button, int x, int y) {
  HWND target = captureOf(ui);
  POINT point = {x, y};
  if (target && target != button) MapWindowPoints(button, target, &point, 1);
  if (!target) target = button;
  PostMessageA(target, WM_MOUSEMOVE, 0, MAKELPARAM(point.x, point.y));
  ui.sync();
}

TEST_F(Buttons, FocusAndHoverHighlightOneButtonAtATime) {
  UiThread ui(runMainDialog);
  HWND main = waitForMainDialog(ui);
  ASSERT_TRUE(main);
  HWND scan = item(main, IDC_SCAN_BUTTON), download = item(main, IDC_DOWNLOAD_BUTTON);
  HWND close = item(main, IDC_CLOSE_BUTTON);
  // The first tab stop has the focus at the start.
  EXPECT_EQ(focusOf(ui), scan);
  expectPictures(ui, main, {{IDC_SCAN_BUTTON, "SCAN_FOCUS"}, {IDC_DOWNLOAD_BUTTON, "DOWNLOAD_NOTFOCUS"},
                            {IDC_CLOSE_BUTTON, "X_NOTFOCUS"}, {IDC_TOOLS_LINK, "ULINK_NOTFOCUS"},
                            {IDC_PRODUCT_LINK, "DLINK_NOTFOCUS"}, {IDC_LOGO_BUTTON, "VEXMOORLOGO_NOTFOCUS"}});
  captureScreen(ui, windowRect(main)).save("button-focus-scan");

  // Tab moves the focus, and the highlight with it.
  ui.pressKey(VK_TAB, scan);
  EXPECT_EQ(focusOf(ui), download);
  expectPictures(ui, main, {{IDC_SCAN_BUTTON, "SCAN_NOTFOCUS"}, {IDC_DOWNLOAD_BUTTON, "DOWNLOAD_FOCUS"}});

  // Hovering X takes the focus and the mouse; leaving lets go of the mouse
  // only: the right edge (x = width) is outside.
  moveMouse(ui, close, 5, 5);
  EXPECT_EQ(captureOf(ui), close);
  EXPECT_EQ(focusOf(ui), close);
  expectPictures(ui, main, {{IDC_CLOSE_BUTTON, "X_FOCUS"}, {IDC_DOWNLOAD_BUTTON, "DOWNLOAD_NOTFOCUS"}});
  RECT closeRect = windowRect(close);
  moveMouse(ui, close, closeRect.right - closeRect.left - 1, 5);
  EXPECT_EQ(captureOf(ui), close) << "still inside";
  moveMouse(ui, close, closeRect.right - closeRect.left, 5);
  EXPECT_EQ(captureOf(ui), nullptr);
  EXPECT_EQ(focusOf(ui), close) << "the focus stays";
  expectPictures(ui, main, {{IDC_CLOSE_BUTTON, "X_NOTFOCUS"}});

  // From SCAN straight onto DOWNLOAD: SCAN lets go at its first move outside,
  // DOWNLOAD takes over at the next one.
  moveMouse(ui, scan, 10, 10);
  expectPictures(ui, main, {{IDC_SCAN_BUTTON, "SCAN_FOCUS"}});
  RECT scanRect = windowRect(scan), downloadRect = windowRect(download);
  moveMouse(ui, scan, downloadRect.left - scanRect.left + 10, 10);
  moveMouse(ui, download, 10, 10);
  EXPECT_EQ(captureOf(ui), download);
  expectPictures(ui, main, {{IDC_SCAN_BUTTON, "SCAN_NOTFOCUS"}, {IDC_DOWNLOAD_BUTTON, "DOWNLOAD_FOCUS"}});
  moveMouse(ui, download, -5, -5);
  ui.closeBox(main);
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

// The cursor a WM_SETCURSOR over `button` leaves on the screen.
HCURSOR cursorOver(UiThread& ui, HWND button) {
  HCURSOR cursor = nullptr;
  ui.run([&] {
    SetCursor(nullptr);
    SendMessageA(button, WM_SETCURSOR, WPARAM(button), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    cursor = GetCursor();
  });
  return cursor;
}

TEST_F(Buttons, TheMainWindowsButtonsShowAHandButTheLogo) {
  UiThread ui(runMainDialog);
  HWND main = waitForMainDialog(ui);
  ASSERT_TRUE(main);
  HCURSOR arrow = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  for (int id : {IDC_SCAN_BUTTON, IDC_CLOSE_BUTTON, IDC_DOWNLOAD_BUTTON, IDC_PRODUCT_LINK,
                 IDC_TOOLS_LINK}) {
    HCURSOR cursor = cursorOver(ui, item(main, id));
    EXPECT_TRUE(cursor && cursor != arrow) << "button " << id << " shows no hand";
  }
  EXPECT_EQ(cursorOver(ui, item(main, IDC_LOGO_BUTTON)), arrow);
  ui.closeBox(main);
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

}  // namespace
