// The main window before a scan: its shape and texts, the maker's product,
// the ways out, the web pages, dragging, and a second copy of the program.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/confirm_box.h"
#include "app/removal_tool_app.h"
#include "controls/ex_label.h"
#include "engine/texts.h"
#include "tests/win32/gui/gui_test_support.h"

namespace {

constexpr const char* kProductKey = "Software\\Vexmoor\\Sentravo 2000";

class MainDialog : public GuiTest {
 protected:
  void TearDown() override {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProductKey);
    GuiTest::TearDown();
  }
  // Records the product's folder in the registry, `length` characters long.
  static void installProduct(size_t length) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::string folder = "C:\\Program Files\\Sentravo";
    folder.resize(length, 'x');
    RegSetValueExA(key, "Installed Folder", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(folder.c_str()), DWORD(folder.size() + 1));
    RegCloseKey(key);
  }
};

TEST_F(MainDialog, OpensCentredWithItsCaptionShapeAndTexts) {
  UiThread ui(runMainDialog);
  HWND main = waitForMainDialog(ui);
  ASSERT_TRUE(main);
  EXPECT_EQ(FindWindowA(nullptr, "Drenvalisk Ver 1.0"), main) << "the caption the second copy looks for";
  EXPECT_NE(GetWindowLongA(main, GWL_STYLE) & WS_CAPTION, WS_CAPTION) << "no caption bar";
  RECT rect = windowRect(main), work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(rect.right - rect.left, 600);
  EXPECT_EQ(rect.bottom - rect.top, 462);
  EXPECT_EQ(rect.left, work.left + (work.right - work.left - 600) / 2);
  EXPECT_EQ(rect.top, work.top + (work.bottom - work.top - 462) / 2);
  // The outline is the skin's: the whole 527 x 338 rectangle.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(main, region), SIMPLEREGION);
  RECT box;
  GetRgnBox(region, &box);
  EXPECT_TRUE(box.left == 0 && box.top == 0 && box.right == 527 && box.bottom == 338)
      << box.left << "," << box.top << "," << box.right << "," << box.bottom;
  DeleteObject(region);

  expectIdle(main);
  EXPECT_EQ(windowText(item(main, IDC_HEADLINE_TEXT)),
            "Drenvalisk Ver 1.0 - Tool to detect and remove all the variants of W32/Tarvolinex Trojan ");
  EXPECT_EQ(windowText(item(main, IDC_FAMILY_LABEL)), "for W32/Tarvolinex Trojan ");
  EXPECT_NE(windowText(item(main, IDC_MAKER_TEXT)).find("Vexmoor"), std::string::npos);
  ui.click(item(main, IDC_CLOSE_BUTTON));
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

// The product counts as installed when its folder is recorded, however long
// the value (a value longer than the 300 bytes read is present all the same).
TEST_F(MainDialog, AnInstalledProductHidesItsLinkAndDisablesDownload) {
  for (size_t length : {size_t(30), size_t(299), size_t(1000)}) {
    SCOPED_TRACE("folder of " + std::to_string(length) + " characters");
    installProduct(length);
    UiThread ui(runMainDialog);
    HWND main = waitForMainDialog(ui);
    ASSERT_TRUE(main);
    expectLooks(main,
                {{IDC_PRODUCT_TEXT, true}, {IDC_PRODUCT_LINK, false, 0},
                 {IDC_DOWNLOAD_BUTTON, true, 0}, {IDC_SCAN_BUTTON, true, 1},
                 {IDC_TOOLS_LINK, true, 1}},
                "product installed");
    EXPECT_EQ(windowText(item(main, IDC_PRODUCT_TEXT)),
              "This program is a part of Sentravo antivirus software.");
    Capture shot = captureScreen(ui, windowRect(main));
    EXPECT_EQ(differingPixels(shot, item(main, IDC_DOWNLOAD_BUTTON),
                              loadBitmapResource("DOWNLOAD_DISABLE")),
              0);
    if (length == 30) shot.save("main-product-installed");
    ui.pressKey(VK_ESCAPE, main);
    EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProductKey);
  }
}

TEST_F(MainDialog, TheLinksOpenTheMakersPages) {
  UiThread ui(runMainDialog);
  HWND main = waitForMainDialog(ui);
  ASSERT_TRUE(main);
  ui.click(item(main, IDC_DOWNLOAD_BUTTON));
  ui.click(item(main, IDC_PRODUCT_LINK));
  ui.click(item(main, IDC_TOOLS_LINK));
  std::vector<std::string> pages = openedPages();
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0], pages[1]) << "DOWNLOAD and the product link open the product page";
  EXPECT_NE(pages[2], pages[0]);
  EXPECT_EQ(pages[0].rfind("http://", 0), 0u);
  EXPECT_EQ(pages[2].rfind("http://", 0), 0u);
  expectIdle(main);
  ui.closeBox(main);
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

// Before a scan, every way out ends the program at once, without a question;
// the Enter key's command does nothing.
TEST_F(MainDialog, EveryWayOutBeforeAScanEndsWithoutAQuestion) {
  enum Way { kEscape, kCloseMenu, kXButton };
  for (Way way : {kEscape, kCloseMenu, kXButton}) {
    SCOPED_TRACE("way out " + std::to_string(way));
    UiThread ui(runMainDialog);
    HWND main = waitForMainDialog(ui);
    ASSERT_TRUE(main);
    ui.pressKey(VK_RETURN, main);
    PostMessageA(main, WM_COMMAND, IDOK, 0);
    ui.sync();
    EXPECT_FALSE(ui.ended()) << "Enter must not end the dialog";
    expectIdle(main);
    if (way == kEscape) ui.pressKey(VK_ESCAPE, main);
    if (way == kCloseMenu) ui.closeBox(main);
    if (way == kXButton) ui.click(item(main, IDC_CLOSE_BUTTON));
    EXPECT_EQ(findConfirmDialog(ui), nullptr);
    EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
  }
}

// A press on the surface and a move drag the window.
TEST_F(MainDialog, DraggingTheSurfaceMovesTheWindow) {
  UiThread ui(runMainDialog);
  HWND main = waitForMainDialog(ui);
  ASSERT_TRUE(main);
  RECT before = windowRect(main);
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  auto mouse = [&](DWORD flags, int x, int y) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65535) / (width - 1);
    input.mi.dy = (y * 65535) / (height - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
  };
  auto captured = [&] {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(ui.threadId(), &info);
    return info.hwndCapture;
  };
  // A point of the header band that no control covers; each step waits for
  // the window to follow, as a hand on a mouse would.
  int x = before.left + 450, y = before.top + 15;
  mouse(0, x, y);
  mouse(MOUSEEVENTF_LEFTDOWN, x, y);
  ASSERT_TRUE(waitUntil(ui, [&] { return captured() == main; }, 3000)) << "no drag began";
  for (int step = 1; step <= 4; ++step) {
    mouse(0, x + 10 * step, y + 8 * step);
    waitUntil(ui, [&] { return windowRect(main).left == before.left + 10 * step; }, 3000);
  }
  mouse(MOUSEEVENTF_LEFTUP, x + 40, y + 32);
  waitUntil(ui, [&] { return captured() == nullptr; }, 3000);
  RECT after = windowRect(main);
  EXPECT_EQ(after.left - before.left, 40);
  EXPECT_EQ(after.top - before.top, 32);
  expectIdle(main);
  ui.closeBox(main);
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

// A second start finds the first one's caption and ends without a window.
TEST_F(MainDialog, ASecondCopyEndsAtOnceAndLeavesTheFirstAlone) {
  UiThread first(runMainDialog);
  HWND main = waitForMainDialog(first);
  ASSERT_TRUE(main);
  UiThread second([] {
    CRemovalToolApp app;
    return static_cast<INT_PTR>(app.InitInstance());
  });
  EXPECT_EQ(second.waitForEnd(5000), FALSE);
  first.sync();
  expectIdle(main);
  EXPECT_EQ(mainDialogWindow(), main);
  first.closeBox(main);
  EXPECT_EQ(first.waitForEnd(), IDCANCEL);
}

struct CaptionSearch {
  const char* caption;
  int count;
};
BOOL CALLBACK countCaptioned(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<CaptionSearch*>(context);
  if (IsWindowVisible(window) && windowText(window) == search->caption) ++search->count;
  return TRUE;
}
// Counts the visible top-level windows captioned `caption`.
int windowsCaptioned(const char* caption) {
  CaptionSearch search = {caption, 0};
  EnumWindows(countCaptioned, reinterpret_cast<LPARAM>(&search));
  return search.count;
}

HANDLE startProgram(const char* path) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string commandLine = path;
  if (!CreateProcessA(path, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD exitCode(HANDLE process) {
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process, &code);
  return code;
}

// The program itself, drenvalisk.exe: it shows its window, a second start
// ends at once without one, and Cancel before a scan ends the process.
TEST_F(MainDialog, TheProgramRunsAsASingleCopy) {
  const char* program = "C:\\drvbin\\drenvalisk.exe";
  if (GetFileAttributesA(program) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no " << program;
  HANDLE first = startProgram(program);
  ASSERT_TRUE(first);
  HWND window = nullptr;
  for (DWORD start = GetTickCount(); !window && GetTickCount() - start < 20000; Sleep(20)) {
    window = FindWindowA(nullptr, "Drenvalisk Ver 1.0");
    if (window && !IsWindowVisible(window)) window = nullptr;
  }
  ASSERT_TRUE(window) << "drenvalisk.exe showed no window";

  HANDLE second = startProgram(program);
  ASSERT_TRUE(second);
  EXPECT_EQ(WaitForSingleObject(second, 20000), WAIT_OBJECT_0) << "the second copy kept running";
  EXPECT_EQ(exitCode(second), 0u);
  EXPECT_EQ(windowsCaptioned("Drenvalisk Ver 1.0"), 1);
  CloseHandle(second);

  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitForSingleObject(first, 20000), WAIT_OBJECT_0) << "Cancel did not end the program";
  EXPECT_EQ(exitCode(first), 0u);
  if (exitCode(first) == STILL_ACTIVE) TerminateProcess(first, 1);
  CloseHandle(first);
}

}  // namespace

namespace {

int screenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// `control`'s text, measured with the font it is drawn with as DrawText
// lays it out (DT_CALCRECT, breaking between words), fits its client area.
// Returns the height the text takes.
int expectTextFits(HWND control, HFONT font, UINT format, const char* what) {
  std::string text = windowText(control);
  RECT client;
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  RECT needed = {0, 0, client.right, 0};
  DrawTextA(dc, text.c_str(), int(text.size()), &needed, format | DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  EXPECT_LE(needed.bottom, client.bottom) << what << " is cut at the bottom: \"" << text << "\"";
  EXPECT_LE(needed.right, client.right) << what << " is cut at the side: \"" << text << "\"";
  return needed.bottom;
}

HFONT fontOf(HWND control) { return reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)); }

int expectStaticFits(HWND dialog, int id, const char* what) {
  HWND control = item(dialog, id);
  bool centred = (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_CENTER;
  return expectTextFits(control, fontOf(control), centred ? DT_CENTER : DT_LEFT, what);
}

// Opens a question as the program asks it, checks that its message fits,
// keeps a picture of it, and answers it with Escape.
void expectQuestionFits(const char* message, unsigned style, const std::string& shot) {
  std::string text = message;
  UiThread ui([&] { return static_cast<INT_PTR>(ShowConfirmBox(text.c_str(), "Drenvalisk Ver 1.0", style)); });
  HWND question = waitForConfirmDialog(ui);
  ASSERT_TRUE(question);
  int textHeight = expectStaticFits(question, IDC_MESSAGE_TEXT, shot.c_str());
  // The buttons stay below the message's text and inside the window.
  RECT area = windowRect(item(question, IDC_MESSAGE_TEXT)), box = windowRect(question);
  for (int id : {IDOK, IDC_OK_ONLY_BUTTON, IDC_YES_BUTTON}) {
    HWND button = item(question, id);
    if (!IsWindowVisible(button)) continue;
    EXPECT_GE(windowRect(button).top, area.top + textHeight) << shot << ": button " << id;
    EXPECT_LE(windowRect(button).bottom, box.bottom) << shot << ": button " << id;
  }
  captureScreen(ui, box).save(shot);
  ui.pressKey(VK_ESCAPE);
  ui.waitForEnd();
}

}  // namespace

// The dialog font grows with the screen's pixels per inch: every text of the
// main window and of the questions still fits its control (the test script
// runs this at 96, 120 and 144 dpi), and each state is kept as a picture.
TEST_F(MainDialog, EveryTextFitsAtEveryResolution) {
  const std::string dpi = std::to_string(screenDpi()) + "dpi";
  std::printf("[   INFO   ] the screen has %s\n", dpi.c_str());
  {
    UiThread ui(runMainDialog);
    HWND main = waitForMainDialog(ui);
    ASSERT_TRUE(main);
    expectStaticFits(main, IDC_HEADLINE_TEXT, "the headline");
    expectStaticFits(main, IDC_MAKER_TEXT, "the maker line");
    expectTextFits(item(main, IDC_FAMILY_LABEL), g_labelFont, DT_CENTER, "the family label");
    captureScreen(ui, windowRect(main)).save("main-idle-" + dpi);

    ui.click(item(main, IDC_SCAN_BUTTON));
    ui.run([] { KillTimer(mainDialogWindow(), 100); });  // the texts below stand for the scan
    expectStaticFits(main, IDC_SEARCHING_TEXT, "the search line");
    // The longest status the walker shows: a path cut to 60 characters.
    for (const char* status :
         {"C:\\Documents and Settings\\Administrator\\..Temporary Internet Files\\setup.exe",
          "C:\\WINDOWS\\system32\\DriverStore\\FileRepository\\netrtl64.inf_amd64\\netrtl64.sys",
          "Scanning completed", "Scanning terminated"}) {
      std::string shown = status;
      if (shown.size() > 60) shown = shown.substr(0, 29) + ".." + shown.substr(shown.size() - 29);
      ui.run([&] {
        copyText(g_session.statusText, shown.c_str(), sizeof g_session.statusText);
        SendMessageA(mainDialogWindow(), WM_ENABLE, 0, 0);
      });
      ASSERT_TRUE(waitUntil(ui, [&] { return windowText(item(main, IDC_STATUS_LABEL)) == shown; }, 2000));
      expectStaticFits(main, IDC_STATUS_LABEL, "the status label");
      if (shown.size() == 60) captureScreen(ui, windowRect(main)).save("main-scanning-" + dpi);
    }
    ui.run([] { g_session.scanRunning = 0; });
    ui.closeBox(main);
    EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
  }
  {
    installProduct(30);
    UiThread ui(runMainDialog);
    HWND main = waitForMainDialog(ui);
    ASSERT_TRUE(main);
    expectStaticFits(main, IDC_PRODUCT_TEXT, "the product line");
    ui.closeBox(main);
    EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
  }
  // Every question the program asks (the walker's Escape question is the
  // stop question).
  expectQuestionFits(kStopQuestion, 0x24, "question-stop-" + dpi);
  expectQuestionFits(kRestartQuestion, 0x24, "question-restart-" + dpi);
  expectQuestionFits(kMemoryRestartQuestion, 0x41, "question-memory-" + dpi);
}
