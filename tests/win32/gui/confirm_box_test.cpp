// The program's own message box: its three forms and icons, what each way of
// answering returns, and how it grows with the message.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/confirm_box.h"
#include "tests/win32/gui/gui_test_support.h"

namespace {

// Runs ConfirmBox on a UI thread of its own.
struct OpenQuestion {
  std::string message, caption;
  unsigned style;
  UiThread ui;
  HWND dialog;
  OpenQuestion(std::string text, std::string title, unsigned styleBits)
      : message(std::move(text)), caption(std::move(title)), style(styleBits),
        ui([this] { return static_cast<INT_PTR>(ShowConfirmBox(message.c_str(), caption.c_str(), style)); }),
        dialog(waitForConfirmDialog(ui)) {}
};

// Keys go where a person's keystrokes go: to the control that has the focus.
enum Answer { kYes, kNo, kOk, kCancel, kOkOnly, kEnter, kTabEnter, kEscape, kCloseBox };

struct AnswerCase {
  unsigned style;
  Answer answer;
  int expected;
};

class ConfirmBoxAnswers : public GuiTest, public ::testing::WithParamInterface<AnswerCase> {};

// Enter presses the button drawn highlighted: the form's first one at the
// start (Yes, or OK), the next one after Tab. Escape is the close box.
TEST_P(ConfirmBoxAnswers, ReturnTheButtonsCode) {
  const AnswerCase& c = GetParam();
  OpenQuestion question("Terminate the Scan now?", "Drenvalisk Ver 1.0", c.style);
  ASSERT_TRUE(question.dialog);
  UiThread& ui = question.ui;
  switch (c.answer) {
    case kYes: ui.click(item(question.dialog, IDC_YES_BUTTON)); break;
    case kNo: ui.click(item(question.dialog, IDC_NO_BUTTON)); break;
    case kOk: ui.click(item(question.dialog, IDOK)); break;
    case kCancel: ui.click(item(question.dialog, IDCANCEL)); break;
    case kOkOnly: ui.click(item(question.dialog, IDC_OK_ONLY_BUTTON)); break;
    case kEnter: ui.pressKey(VK_RETURN); break;
    case kTabEnter:
      ui.pressKey(VK_TAB);
      ui.pressKey(VK_RETURN);
      break;
    case kEscape: ui.pressKey(VK_ESCAPE); break;
    case kCloseBox: ui.closeBox(question.dialog); break;
  }
  EXPECT_EQ(ui.waitForEnd(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ConfirmBoxAnswers,
    ::testing::Values(AnswerCase{0x24, kYes, IDYES}, AnswerCase{0x24, kNo, IDNO},
                      AnswerCase{0x24, kEnter, IDYES}, AnswerCase{0x24, kTabEnter, IDNO},
                      AnswerCase{0x24, kEscape, IDNO}, AnswerCase{0x24, kCloseBox, IDNO},
                      AnswerCase{0x41, kOk, IDOK}, AnswerCase{0x41, kCancel, IDCANCEL},
                      AnswerCase{0x41, kEnter, IDOK}, AnswerCase{0x41, kTabEnter, IDCANCEL},
                      AnswerCase{0x41, kEscape, IDCANCEL}, AnswerCase{0x41, kCloseBox, IDCANCEL},
                      AnswerCase{0x00, kOkOnly, IDOK}, AnswerCase{0x00, kEnter, IDOK},
                      AnswerCase{0x00, kEscape, IDCANCEL}, AnswerCase{0x00, kCloseBox, IDCANCEL}));

// Which buttons and which icon each style shows.
struct FormCase {
  unsigned style;
  std::vector<int> buttons;  // the visible ones
  int icon;
  const char* screenshot;
};

class ConfirmBoxForms : public GuiTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(ConfirmBoxForms, ShowTheirButtonsAndIcon) {
  const FormCase& c = GetParam();
  OpenQuestion question("The system has to be restarted.", "Drenvalisk Ver 1.0", c.style);
  ASSERT_TRUE(question.dialog);
  for (int id : {IDOK, IDCANCEL, IDC_OK_ONLY_BUTTON, IDC_YES_BUTTON, IDC_NO_BUTTON}) {
    bool expected = std::find(c.buttons.begin(), c.buttons.end(), id) != c.buttons.end();
    EXPECT_EQ(IsWindowVisible(item(question.dialog, id)) != 0, expected) << "button " << id;
  }
  Capture shot = captureScreen(question.ui, windowRect(question.dialog));
  EXPECT_EQ(differingPixels(shot, item(question.dialog, IDC_ICON_PICTURE),
                            loadBitmapResource(MAKEINTRESOURCEA(c.icon))),
            0)
      << "icon " << c.icon;
  // The background is the skin's light blue.
  RECT client;
  GetClientRect(question.dialog, &client);
  POINT corner = {client.right - 3, 3};
  ClientToScreen(question.dialog, &corner);
  EXPECT_EQ(shot.at(corner.x, corner.y), RGB(207, 233, 254));
  if (c.screenshot) shot.save(c.screenshot);
  question.ui.pressKey(VK_ESCAPE, question.dialog);
  question.ui.waitForEnd();
}

INSTANTIATE_TEST_SUITE_P(
    Styles, ConfirmBoxForms,
    ::testing::Values(
        FormCase{0x24, {IDC_YES_BUTTON, IDC_NO_BUTTON}, IDB_ICON_QUESTION, "confirm-yes-no"},
        FormCase{0x41, {IDOK, IDCANCEL}, IDB_ICON_INFORMATION, "confirm-ok-cancel"},
        FormCase{0x00, {IDC_OK_ONLY_BUTTON}, IDB_ICON_WARNING, "confirm-ok"},
        FormCase{0x30, {IDC_OK_ONLY_BUTTON}, IDB_ICON_WARNING, nullptr},
        FormCase{0x10, {IDC_OK_ONLY_BUTTON}, IDB_ICON_ERROR, nullptr},
        FormCase{0x05, {IDOK, IDCANCEL}, IDB_ICON_WARNING, nullptr}));

class ConfirmBox : public GuiTest {};

TEST_F(ConfirmBox, AnEmptyCaptionGivesTheProgramsTitle) {
  OpenQuestion question("Restart now?", "", 0x24);
  ASSERT_TRUE(question.dialog);
  EXPECT_EQ(windowText(question.dialog), "Drenvalisk Ver 1.0");
  EXPECT_EQ(windowText(item(question.dialog, IDC_MESSAGE_TEXT)), "Restart now?");
  question.ui.closeBox(question.dialog);
  EXPECT_EQ(question.ui.waitForEnd(), IDNO);
}

// The template's own window, and its message and icon, measured from its
// outer top-left corner.
struct TemplateLayout {
  SIZE window;
  RECT message, icon;
};
INT_PTR CALLBACK plainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}
RECT relativeTo(const RECT& outer, const RECT& rect) {
  return {rect.left - outer.left, rect.top - outer.top, rect.right - outer.left,
          rect.bottom - outer.top};
}
TemplateLayout templateLayout() {
  HWND plain = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIRM_DIALOG),
                                  nullptr, plainDialogProc, 0);
  RECT outer = windowRect(plain);
  TemplateLayout layout = {{outer.right - outer.left, outer.bottom - outer.top},
                           relativeTo(outer, windowRect(item(plain, IDC_MESSAGE_TEXT))),
                           relativeTo(outer, windowRect(item(plain, IDC_ICON_PICTURE)))};
  DestroyWindow(plain);
  return layout;
}

// A control's rectangle in its dialog's client coordinates.
RECT clientRect(HWND dialog, HWND control) {
  RECT rect = windowRect(control);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Grows by a step per 30 characters; the arithmetic takes the controls'
// outer-corner positions as client positions.
void expectGrowth(size_t length, int wider, int taller, int extraMessageHeight) {
  SCOPED_TRACE(std::to_string(length) + " characters");
  TemplateLayout plain = templateLayout();
  std::string text;
  while (text.size() < length)
    text += "The system has to be restarted to remove the virus completely. Restart now? ";
  text.resize(length);
  OpenQuestion question(text, "Drenvalisk Ver 1.0", 0x24);
  ASSERT_TRUE(question.dialog);
  RECT grown = windowRect(question.dialog);
  EXPECT_EQ(grown.right - grown.left, plain.window.cx + wider);
  EXPECT_EQ(grown.bottom - grown.top, plain.window.cy + taller);
  RECT message = clientRect(question.dialog, item(question.dialog, IDC_MESSAGE_TEXT));
  EXPECT_EQ(message.top, plain.message.top - 25);
  EXPECT_EQ(message.left, plain.message.left);
  EXPECT_EQ(message.right - message.left, plain.message.right - plain.message.left + wider);
  EXPECT_EQ(message.bottom - message.top,
            plain.message.bottom - plain.message.top + taller + extraMessageHeight);
  RECT yes = clientRect(question.dialog, item(question.dialog, IDC_YES_BUTTON));
  EXPECT_EQ(yes.top, grown.bottom - grown.top - 65) << "the button row";
  RECT icon = clientRect(question.dialog, item(question.dialog, IDC_ICON_PICTURE));
  RECT plainIconClient = icon;
  if (length >= 90) {
    EXPECT_EQ(icon.top, plain.message.top - 30) << "the icon moves up with a long message";
  } else {
    // Unmoved: where the template put it.
    RECT client;
    GetClientRect(question.dialog, &client);
    POINT origin = {0, 0};
    ClientToScreen(question.dialog, &origin);
    int frameTop = origin.y - grown.top;
    EXPECT_EQ(plainIconClient.top, plain.icon.top - frameTop);
  }
  if (length == 90) captureScreen(question.ui, grown).save("confirm-90-characters");
  question.ui.pressKey(VK_ESCAPE, question.dialog);
  EXPECT_EQ(question.ui.waitForEnd(), IDNO);
}

TEST_F(ConfirmBox, GrowsWithTheMessage) {
  expectGrowth(29, 12, 7, 0);
  expectGrowth(30, 25, 14, 0);
  expectGrowth(90, 50, 28, 0);
}

// On a screen of 120 logical pixels per inch the message area is 25 pixels
// taller (the test script runs this at 120 dpi).
TEST_F(ConfirmBox, LargeFontsGiveTheMessageMoreRoom) {
  UiThread ui(runMainDialog);  // the main window notices the screen's resolution
  ui.sync();
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  if (HWND main = waitForMainDialog(ui)) {
    captureScreen(ui, windowRect(main)).save("main-idle-" + std::to_string(dpi) + "dpi");
    EXPECT_EQ(windowRect(main).right - windowRect(main).left, 600) << "the same window at any resolution";
  }
  ui.closeBox(mainDialogWindow());
  ASSERT_EQ(ui.waitForEnd(), IDCANCEL);
  std::printf("[   INFO   ] the screen has %d logical pixels per inch\n", dpi);
  if (dpi < 120) GTEST_SKIP() << "the screen has " << dpi << " pixels per inch";
  expectGrowth(29, 12, 7, 25);
}

// The dialog's brush is made once and released with the dialog.
TEST_F(ConfirmBox, ReleasesItsBackgroundBrush) {
  OpenQuestion question("Terminate the Scan now?", "Drenvalisk Ver 1.0", 0x24);
  ASSERT_TRUE(question.dialog);
  HBRUSH first = nullptr, second = nullptr;
  question.ui.run([&] {
    HDC dc = GetDC(question.dialog);
    first = reinterpret_cast<HBRUSH>(SendMessageA(question.dialog, WM_CTLCOLORDLG, WPARAM(dc), LPARAM(question.dialog)));
    second = reinterpret_cast<HBRUSH>(SendMessageA(question.dialog, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(item(question.dialog, IDC_MESSAGE_TEXT))));
    ReleaseDC(question.dialog, dc);
  });
  EXPECT_EQ(first, second) << "one brush for the dialog";
  LOGBRUSH description = {};
  ASSERT_EQ(GetObjectA(first, sizeof description, &description), int(sizeof description));
  EXPECT_EQ(description.lbColor, RGB(207, 233, 254));
  question.ui.pressKey(VK_ESCAPE, question.dialog);
  question.ui.waitForEnd();
  EXPECT_EQ(GetObjectType(first), 0u) << "the brush outlived its dialog";
}

// How many more GDI objects the process could make now.
int freeGdiObjects() {
  std::vector<HBRUSH> brushes;
  while (HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3))) {
    brushes.push_back(brush);
    if (brushes.size() > 200000) break;
  }
  for (HBRUSH brush : brushes) DeleteObject(brush);
  return static_cast<int>(brushes.size());
}

// Each paint loads the icon and releases it: however often a question is
// repainted, it uses up no GDI objects (which would, in the end, leave every
// window of the program without pictures) and keeps showing its icon.
TEST_F(ConfirmBox, RepaintingLosesNoGdiObjects) {
  OpenQuestion question("Terminate the Scan now?", "Drenvalisk Ver 1.0", 0x24);
  ASSERT_TRUE(question.dialog);
  question.ui.sync();
  int freeBefore = freeGdiObjects();
  question.ui.run([&] {
    for (int i = 0; i < 300; ++i) {
      InvalidateRect(question.dialog, nullptr, FALSE);
      UpdateWindow(question.dialog);
    }
  });
  EXPECT_GE(freeGdiObjects(), freeBefore - 5) << "300 repaints used up GDI objects";
  Capture shot = captureScreen(question.ui, windowRect(question.dialog));
  EXPECT_EQ(differingPixels(shot, item(question.dialog, IDC_ICON_PICTURE),
                            loadBitmapResource(MAKEINTRESOURCEA(IDB_ICON_QUESTION))),
            0);
  question.ui.pressKey(VK_ESCAPE, question.dialog);
  question.ui.waitForEnd();
}

}  // namespace
