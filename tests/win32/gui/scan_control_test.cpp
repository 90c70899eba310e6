// A scan as a person runs it from the main window: the layout in each state,
// stopping with Cancel, X and Escape, the report list, and leaving.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/session.h"
#include "tests/win32/gui/gui_test_support.h"
#include "tests/win32/gui/pixels.h"

namespace {

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Starts the main dialog with the harness watching its report channel.
HWND startMainDialog(UiThread& ui) {
  HWND main = waitForMainDialog(ui);
  ui.run(ScanWatch::install);
  return main;
}

// Answers the open question with `button` after checking what it asks.
void answerStopQuestion(UiThread& ui, const char* caption, int button) {
  HWND question = waitForConfirmDialog(ui);
  ASSERT_TRUE(question) << "no question is open";
  EXPECT_EQ(windowText(question), caption);
  EXPECT_EQ(windowText(item(question, IDC_MESSAGE_TEXT)), "Terminate the Scan now?");
  EXPECT_TRUE(IsWindowVisible(item(question, IDC_YES_BUTTON)));
  EXPECT_TRUE(IsWindowVisible(item(question, IDC_NO_BUTTON)));
  // Centred over the main window.
  RECT over = windowRect(mainDialogWindow()), box = windowRect(question);
  EXPECT_NEAR((box.left + box.right) / 2, (over.left + over.right) / 2, 1);
  EXPECT_NEAR((box.top + box.bottom) / 2, (over.top + over.bottom) / 2, 1);
  ui.click(item(question, button));
  EXPECT_EQ(findConfirmDialog(ui), nullptr);
}

class ScanControl : public GuiTest {};

TEST_F(ScanControl, StoppingWithCancelAndXThroughEveryState) {
  for (const char* name : {"a.exe", "b.exe", "c.exe", "d.exe"}) plantClean(name);
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  expectIdle(main);
  captureScreen(ui, windowRect(main)).save("main-idle");

  ScanWatch::holdAt("\\guitest\\");
  ui.click(item(main, IDC_SCAN_BUTTON));
  ASSERT_TRUE(ScanWatch::waitHeld()) << "the scan never reached the planted folder";
  expectScanning(main);
  // The label follows the scan within its refresh interval.
  EXPECT_TRUE(waitUntil(ui, [&] {
    return windowText(item(main, IDC_STATUS_LABEL)).find("C:\\guitest\\") != std::string::npos;
  }, 2000)) << windowText(item(main, IDC_STATUS_LABEL));
  // The search line's bold font: made for this dialog, gone with it.
  HFONT searchFont = reinterpret_cast<HFONT>(SendMessageA(item(main, IDC_SEARCHING_TEXT), WM_GETFONT, 0, 0));
  LOGFONTA searchLook = {};
  ASSERT_EQ(GetObjectA(searchFont, sizeof searchLook, &searchLook), int(sizeof searchLook));
  EXPECT_STREQ(searchLook.lfFaceName, "Arial");
  EXPECT_EQ(searchLook.lfWeight, FW_BOLD);
  Capture scanning = captureScreen(ui, windowRect(main));
  scanning.save("main-scanning");
  // SCAN lost the focus when it was disabled: it shows its disabled picture.
  EXPECT_EQ(differingPixels(scanning, item(main, IDC_SCAN_BUTTON), loadBitmapResource("SCAN_DISABLE")), 0);

  // Cancel, then No: nothing changes.
  ui.click(item(main, IDCANCEL));
  ASSERT_TRUE(waitForConfirmDialog(ui));
  captureScreen(ui, windowRect(main)).save("main-question");
  answerStopQuestion(ui, "Drenvalisk Ver 1.0", IDC_NO_BUTTON);
  expectScanning(main);

  // X, then Yes: Cancel gives way to OK at once; the rest waits for the scan.
  ui.click(item(main, IDC_CLOSE_BUTTON));
  answerStopQuestion(ui, "DialogBoxTitle", IDC_YES_BUTTON);
  expectStopConfirmed(main);

  ScanWatch::release(ui);
  ASSERT_TRUE(ScanWatch::waitFinished());
  ui.sync();
  expectDone(main);
  EXPECT_EQ(windowText(item(main, IDC_STATUS_LABEL)), "Scanning terminated");
  std::vector<std::string> report = listLines(item(main, IDC_REPORT_LIST));
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.front(), "Scanning statistics");
  EXPECT_TRUE(contains(report, "Total files infected\t\t:  0"));

  ui.click(item(main, IDC_OK_BUTTON));
  EXPECT_EQ(ui.waitForEnd(), IDOK);
  EXPECT_EQ(GetObjectType(searchFont), 0u) << "the search line's font outlived its dialog";
}

TEST_F(ScanControl, AWholeScanRemovesAPlantedTrojan) {
  std::string detection = plantInfected("bej.exe");
  plantClean("clean.exe");
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  auto started = std::chrono::steady_clock::now();
  ui.click(item(main, IDC_SCAN_BUTTON));
  ASSERT_TRUE(ScanWatch::waitFinished());
  ui.sync();
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("[   INFO   ] the scan of the prefix's C: took %.1f s\n", seconds);

  expectDone(main);
  EXPECT_EQ(windowText(item(main, IDC_STATUS_LABEL)), "Scanning completed");
  std::vector<std::string> report = listLines(item(main, IDC_REPORT_LIST));
  EXPECT_TRUE(contains(report, "C:\\guitest\\bej.exe     " + detection + " removed"));
  EXPECT_TRUE(contains(report, "Total files infected\t\t:  1"));
  EXPECT_TRUE(contains(report, "Total files removed\t\t:  1"));
  EXPECT_EQ(report, ScanWatch::lines()) << "the list shows every line the scan reported";
  EXPECT_FALSE(plantedExists("bej.exe"));
  EXPECT_TRUE(plantedExists("clean.exe"));
  captureScreen(ui, windowRect(main)).save("main-after-scan");

  // After the scan, Escape leaves without a question.
  ui.pressKey(VK_ESCAPE, main);
  EXPECT_EQ(findConfirmDialog(ui), nullptr);
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

TEST_F(ScanControl, EscapeDuringAScanAsksTheWalkersQuestion) {
  for (const char* name : {"a.exe", "b.exe", "c.exe", "d.exe", "e.exe"}) plantClean(name);
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  ScanWatch::holdAt("\\guitest\\");
  ui.click(item(main, IDC_SCAN_BUTTON));
  ASSERT_TRUE(ScanWatch::waitHeld());

  // Escape reaches the walker, which asks; No lets the scan go on.
  ScanWatch::releaseWithKey(ui, main, VK_ESCAPE);
  ui.sync();
  ui.run([] { ScanWatch::holdAt("\\guitest\\"); });
  answerStopQuestion(ui, "Drenvalisk Ver 1.0", IDC_NO_BUTTON);
  ASSERT_TRUE(ScanWatch::waitHeld());
  expectScanning(main);

  // Escape again, Yes: the scan ends as terminated.
  ScanWatch::releaseWithKey(ui, main, VK_ESCAPE);
  ui.sync();
  answerStopQuestion(ui, "Drenvalisk Ver 1.0", IDC_YES_BUTTON);
  ASSERT_TRUE(ScanWatch::waitFinished());
  ui.sync();
  expectDone(main);
  EXPECT_EQ(windowText(item(main, IDC_STATUS_LABEL)), "Scanning terminated");
  ui.click(item(main, IDC_CLOSE_BUTTON));  // after the scan: no question
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}

// Sends one report line through the channel, as the engine does.
void report(UiThread& ui, const std::string& line) {
  ui.run([&] {
    copyText(g_session.reportLine, line.c_str(), sizeof g_session.reportLine);
    SendMessageA(mainDialogWindow(), WM_SETREDRAW, 0, 0);
  });
}

int selectedLine(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }

TEST_F(ScanControl, TheReportListKeeps150LinesUntilTheStatistics) {
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  ui.click(item(main, IDC_SCAN_BUTTON));  // shows the list; the scan starts later
  HWND list = item(main, IDC_REPORT_LIST);
  ui.run([] { KillTimer(mainDialogWindow(), 100); });  // the lines below are the whole scan
  EXPECT_EQ(windowText(item(main, IDC_STATUS_LABEL)), "") << "no placeholder before the first status";

  for (int i = 1; i <= 150; ++i) report(ui, "line " + std::to_string(i));
  EXPECT_EQ(listLines(list).size(), 150u);
  EXPECT_EQ(selectedLine(list), 149) << "the newest line is selected";
  report(ui, "line 151");
  EXPECT_EQ(listLines(list), std::vector<std::string>{"line 151"}) << "the 151st line starts afresh";
  EXPECT_EQ(selectedLine(list), LB_ERR) << "no selection in a list of one line";
  report(ui, "line 152");
  EXPECT_EQ(selectedLine(list), LB_ERR) << "no selection in a list of two lines";
  report(ui, "line 153");
  EXPECT_EQ(selectedLine(list), 2);
  for (int i = 154; i <= 160; ++i) report(ui, "line " + std::to_string(i));
  std::vector<std::string> lines = listLines(list);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines.front(), "line 151");
  EXPECT_EQ(lines.back(), "line 160");

  // From the statistics on, nothing is dropped.
  for (int i = 161; i <= 300; ++i) report(ui, "line " + std::to_string(i));
  EXPECT_EQ(listLines(list).size(), 150u);
  ui.run([] { g_session.scanFinished = 1; });
  for (int i = 0; i < 6; ++i) report(ui, "statistics " + std::to_string(i));
  lines = listLines(list);
  EXPECT_EQ(lines.size(), 156u);
  EXPECT_EQ(lines.back(), "statistics 5");
  ui.run([] { g_session.scanRunning = 0; });
}

// The scan reports faster than the screen is redrawn: the texts are the
// window's at once, and the label and the list show them within a refresh.
TEST_F(ScanControl, TheScreenCatchesUpWithABurstOfLinesAndStatuses) {
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  ui.click(item(main, IDC_SCAN_BUTTON));
  ui.run([] { KillTimer(mainDialogWindow(), 100); });
  HWND list = item(main, IDC_REPORT_LIST), label = item(main, IDC_STATUS_LABEL);
  Capture before = captureScreen(ui, windowRect(list));

  ui.run([] {
    for (int i = 0; i < 20; ++i) {
      std::string text = "C:\\burst\\file" + std::to_string(i) + ".exe";
      copyText(g_session.reportLine, (text + "     W32/Tarvolinex.Trojan removed").c_str(),
               sizeof g_session.reportLine);
      SendMessageA(mainDialogWindow(), WM_SETREDRAW, 0, 0);
      copyText(g_session.statusText, text.c_str(), sizeof g_session.statusText);
      SendMessageA(mainDialogWindow(), WM_ENABLE, 0, 0);
    }
  });
  EXPECT_EQ(listLines(list).size(), 20u);
  EXPECT_TRUE(waitUntil(ui, [&] { return windowText(label) == "C:\\burst\\file19.exe"; }, 2000))
      << "the label shows " << windowText(label);
  EXPECT_TRUE(waitUntil(ui, [&] { return captureScreen(ui, windowRect(list)).pixels != before.pixels; },
                        2000))
      << "the list never drew its lines";
  ui.run([] { g_session.scanRunning = 0; });
}

// Width of `text` as the list measures it (the context's default font).
int measured(HWND list, const std::string& text) {
  HDC dc = GetDC(list);
  SIZE size = {};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ReleaseDC(list, dc);
  return size.cx;
}

TEST_F(ScanControl, OnlyAWideLineMakesTheListScrollSideways) {
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  ui.click(item(main, IDC_SCAN_BUTTON));
  ui.run([] { KillTimer(mainDialogWindow(), 100); });
  HWND list = item(main, IDC_REPORT_LIST);
  ui.run([] {
    copyText(g_session.statusText, "C:\\guitest\\wide", sizeof g_session.statusText);
    SendMessageA(mainDialogWindow(), WM_ENABLE, 0, 0);
  });

  std::string shortLine = "C:\\guitest\\a.exe     W32/Tarvolinex.Trojan removed";
  ASSERT_LE(measured(list, shortLine), 560);
  report(ui, shortLine);
  report(ui, shortLine);
  EXPECT_EQ(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), 0);
  EXPECT_FALSE(GetWindowLongA(list, GWL_STYLE) & WS_HSCROLL) << "no horizontal scroll bar";

  std::string wideLine = "C:\\" + std::string(150, 'W') + "\\bej.exe     W32/Tarvolinex.Trojan removed";
  int width = measured(list, wideLine);
  ASSERT_GT(width, 560);
  report(ui, wideLine);
  EXPECT_EQ(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), 3 * width / 4);
  captureScreen(ui, windowRect(main)).save("main-wide-report");
  report(ui, shortLine);  // the extent never shrinks
  EXPECT_EQ(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), 3 * width / 4);
  ui.run([] { g_session.scanRunning = 0; });
}

}  // namespace

namespace {

enum class Stopper { kCancel, kX, kEscape };

const char* nameOf(Stopper way) {
  return way == Stopper::kCancel ? "Cancel" : way == Stopper::kX ? "X" : "Escape";
}

// Presses SCAN and, before the scan's first tick, Cancel, X or Escape: both
// are posted at once, so the second comes before any tick of the timer.
HWND askBeforeTheFirstTick(UiThread& ui, HWND main, Stopper way) {
  PostMessageA(item(main, IDC_SCAN_BUTTON), BM_CLICK, 0, 0);
  if (way == Stopper::kCancel) PostMessageA(item(main, IDCANCEL), BM_CLICK, 0, 0);
  if (way == Stopper::kX) PostMessageA(item(main, IDC_CLOSE_BUTTON), BM_CLICK, 0, 0);
  // Escape where the keyboard is once SCAN is pressed: on Cancel.
  if (way == Stopper::kEscape) PostMessageA(item(main, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 1);
  return waitForConfirmDialog(ui);
}

bool containsLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

// A stop asked for before the scan's first tick: the tick that comes while
// the question is open starts nothing, and nothing else can open a second
// question. Yes: nothing is scanned and the report ends as terminated. No:
// the scan runs once, to its end, with no question open.
TEST_F(ScanControl, AStopAskedBeforeTheFirstTickIsNeverLost) {
  for (Stopper way : {Stopper::kCancel, Stopper::kX, Stopper::kEscape}) {
    for (bool yes : {true, false}) {
      SCOPED_TRACE(std::string(nameOf(way)) + (yes ? ", Yes" : ", No"));
      resetScanSession();
      removePlanted();
      plantInfected("bej.exe");
      UiThread ui(runMainDialog);
      HWND main = startMainDialog(ui);
      HWND question = askBeforeTheFirstTick(ui, main, way);
      ASSERT_TRUE(question) << "no question";
      EXPECT_EQ(windowText(question), way == Stopper::kX ? "DialogBoxTitle" : "Drenvalisk Ver 1.0");

      // The tick comes while the question is open; X is pressed again and
      // Escape goes to the main window: still one question, nothing scanned.
      PostMessageA(main, WM_TIMER, 100, 0);
      PostMessageA(item(main, IDC_CLOSE_BUTTON), BM_CLICK, 0, 0);
      PostMessageA(main, WM_KEYDOWN, VK_ESCAPE, 1);
      ui.sync();
      EXPECT_EQ(openQuestionCount(ui), 1);
      EXPECT_TRUE(ScanWatch::statuses().empty()) << "the scan started under the question";
      EXPECT_TRUE(plantedExists("bej.exe"));

      ui.click(item(question, yes ? IDC_YES_BUTTON : IDC_NO_BUTTON));
      ASSERT_TRUE(ScanWatch::waitFinished());
      ui.sync();
      std::vector<std::string> report = ScanWatch::lines();
      EXPECT_FALSE(ScanWatch::ranUnderAQuestion());
      EXPECT_EQ(std::count(report.begin(), report.end(), "Scanning statistics"), 1) << "one scan";
      if (yes) {
        EXPECT_EQ(ScanWatch::statuses(), std::vector<std::string>{"Scanning terminated"});
        EXPECT_TRUE(containsLine(report, "Total files scanned\t\t:  0"));
        EXPECT_TRUE(plantedExists("bej.exe")) << "a file was touched after Yes";
      } else {
        EXPECT_EQ(ScanWatch::statuses().back(), "Scanning completed");
        EXPECT_TRUE(containsLine(report, "Total files removed\t\t:  1"));
        EXPECT_FALSE(plantedExists("bej.exe"));
      }
      expectDone(main);
      EXPECT_EQ(listLines(item(main, IDC_REPORT_LIST)), report);
      EXPECT_EQ(openQuestionCount(ui), 0);
      ui.click(item(main, IDC_OK_BUTTON));
      EXPECT_EQ(ui.waitForEnd(), IDOK);
    }
  }
}

// OK pressed after a confirmed stop, while the scan is still winding down:
// the window stays until the driver has returned, every line of the report
// still arrives, and then the program ends. The same before the first tick.
TEST_F(ScanControl, OkAfterAConfirmedStopWaitsForTheScansEnd) {
  for (const char* name : {"a.exe", "b.exe", "c.exe"}) plantClean(name);
  {
    UiThread ui(runMainDialog);
    HWND main = startMainDialog(ui);
    ScanWatch::holdAt("\\guitest\\");
    ui.click(item(main, IDC_SCAN_BUTTON));
    ASSERT_TRUE(ScanWatch::waitHeld());
    ui.click(item(main, IDC_CLOSE_BUTTON));
    answerStopQuestion(ui, "DialogBoxTitle", IDC_YES_BUTTON);
    ui.click(item(main, IDC_OK_BUTTON));
    EXPECT_FALSE(ui.ended());
    EXPECT_TRUE(IsWindowVisible(main)) << "the window left before the scan returned";
    EXPECT_TRUE(ScanWatch::lines().empty());

    ScanWatch::release(ui);
    EXPECT_EQ(ui.waitForEnd(), IDOK);
    std::vector<std::string> report = ScanWatch::lines();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.front(), "Scanning statistics");
    EXPECT_EQ(report.back(), "Total files removed\t\t:  0");
    EXPECT_EQ(ScanWatch::statuses().back(), "Scanning terminated");
  }
  resetScanSession();
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  HWND question = askBeforeTheFirstTick(ui, main, Stopper::kCancel);
  ASSERT_TRUE(question);
  ui.click(item(question, IDC_YES_BUTTON));
  ui.click(item(main, IDC_OK_BUTTON));
  EXPECT_EQ(ui.waitForEnd(), IDOK);
  EXPECT_EQ(ScanWatch::lines().back(), "Total files removed\t\t:  0");
  EXPECT_EQ(ScanWatch::statuses(), std::vector<std::string>{"Scanning terminated"});
}

namespace {

// Whether `window`'s pixels on the screen are what it paints for its
// current content (WM_PRINTCLIENT into a bitmap of its own).
int pixelsUnlikeItsOwnPainting(UiThread& ui, HWND window, const RECT& part) {
  RECT client;
  GetClientRect(window, &client);
  RECT onScreen = part;
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&onScreen), 2);
  Capture screen = captureScreen(ui, onScreen);
  std::vector<uint32_t> painted;
  ui.run([&] {
    HDC windowDC = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDC);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDC, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageA(window, WM_PRINTCLIENT, WPARAM(memory), PRF_CLIENT | PRF_ERASEBKGND);
    painted = readPixels(memory, part.left, part.top, part.right - part.left, part.bottom - part.top);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, windowDC);
  });
  if (painted.size() != screen.pixels.size()) return -1;
  int differing = 0;
  for (size_t i = 0; i < painted.size(); ++i) differing += painted[i] != screen.pixels[i];
  return differing;
}

// The status label's text as the label draws it: its font, black on the
// white of the panel, from its top-left corner.
int pixelsUnlikeText(UiThread& ui, HWND label, const std::string& text) {
  RECT client;
  GetClientRect(label, &client);
  Capture screen = captureScreen(ui, windowRect(label));
  std::vector<uint32_t> drawn;
  ui.run([&] {
    HDC windowDC = GetDC(label);
    HDC memory = CreateCompatibleDC(windowDC);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDC, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HGDIOBJ oldFont = SelectObject(memory, HGDIOBJ(SendMessageA(label, WM_GETFONT, 0, 0)));
    FillRect(memory, &client, HBRUSH(GetStockObject(WHITE_BRUSH)));
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextA(memory, text.c_str(), int(text.size()), &client, DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK);
    drawn = readPixels(memory, 0, 0, client.right, client.bottom);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(label, windowDC);
  });
  if (drawn.size() != screen.pixels.size()) return -1;
  int differing = 0;
  for (size_t i = 0; i < drawn.size(); ++i) differing += drawn[i] != screen.pixels[i];
  return differing;
}

// The screen, not only the controls' contents, shows the scan's end: the
// report's last line in the list's last row, and the final status.
void expectTheScreenShowsTheEnd(UiThread& ui, HWND main, const std::string& status) {
  HWND list = item(main, IDC_REPORT_LIST), label = item(main, IDC_STATUS_LABEL);
  std::vector<std::string> report = listLines(list);
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.back(), ScanWatch::lines().back());
  int last = int(report.size()) - 1;
  RECT row = {};
  SendMessageA(list, LB_GETITEMRECT, WPARAM(last), LPARAM(&row));
  RECT client;
  GetClientRect(list, &client);
  ASSERT_TRUE(row.top >= 0 && row.bottom <= client.bottom) << "the last row is not in view";
  EXPECT_EQ(pixelsUnlikeItsOwnPainting(ui, list, row), 0) << "the list's last row on the screen";
  EXPECT_EQ(windowText(label), status);
  EXPECT_EQ(pixelsUnlikeText(ui, label, status), 0) << "the status label on the screen";
  EXPECT_NE(pixelsUnlikeText(ui, label, "Scanning"), 0) << "the comparison sees no text";
}

}  // namespace

TEST_F(ScanControl, TheScreenShowsTheEndOfACompletedAndOfAStoppedScan) {
  plantInfected("bej.exe");
  for (const char* name : {"a.exe", "b.exe", "c.exe"}) plantClean(name);
  {
    UiThread ui(runMainDialog);
    HWND main = startMainDialog(ui);
    ui.click(item(main, IDC_SCAN_BUTTON));
    ASSERT_TRUE(ScanWatch::waitFinished());
    ui.sync();
    expectTheScreenShowsTheEnd(ui, main, "Scanning completed");
    ui.click(item(main, IDC_OK_BUTTON));
    EXPECT_EQ(ui.waitForEnd(), IDOK);
  }
  resetScanSession();
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  ScanWatch::holdAt("\\guitest\\");
  ui.click(item(main, IDC_SCAN_BUTTON));
  ASSERT_TRUE(ScanWatch::waitHeld());
  ui.click(item(main, IDCANCEL));
  answerStopQuestion(ui, "Drenvalisk Ver 1.0", IDC_YES_BUTTON);
  ScanWatch::release(ui);
  ASSERT_TRUE(ScanWatch::waitFinished());
  ui.sync();
  expectTheScreenShowsTheEnd(ui, main, "Scanning terminated");
  captureScreen(ui, windowRect(main)).save("main-after-stop");
  ui.click(item(main, IDC_OK_BUTTON));
  EXPECT_EQ(ui.waitForEnd(), IDOK);
}

// The keyboard during a scan, every key taken by the walker's pump: the
// focus is on Cancel once SCAN is disabled; Tab and Shift+Tab move it;
// Space on Cancel asks; Enter answers with the highlighted Yes; the focus
// is then on OK, and Enter ends the program.
TEST_F(ScanControl, TheKeyboardReachesCancelAndOkDuringAScan) {
  for (int i = 0; i < 24; ++i) plantClean("k" + std::to_string(i) + ".exe");
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  HWND cancel = item(main, IDCANCEL);
  ScanWatch::holdAt("\\guitest\\");
  ui.click(item(main, IDC_SCAN_BUTTON));
  ASSERT_TRUE(ScanWatch::waitHeld());
  EXPECT_EQ(focusOf(ui), cancel);
  EXPECT_EQ(differingPixels(captureScreen(ui, windowRect(main)), cancel,
                            loadBitmapResource("CANCEL_FOCUS")),
            0)
      << "Cancel is drawn highlighted";

  // Each key is posted as the scan goes on; the scan is held again at the
  // next file of the planted folder to look.
  auto keyDuringTheScan = [&](UINT key, bool shift) {
    ScanWatch::releaseWithKeyStroke(ui, key, shift);
    ui.run([] { ScanWatch::holdAt("\\guitest\\k"); });
    EXPECT_TRUE(ScanWatch::waitHeld());
    if (shift) ui.setShift(false);
  };
  keyDuringTheScan(VK_TAB, false);
  EXPECT_EQ(focusOf(ui), item(main, IDC_DOWNLOAD_BUTTON)) << "Tab";
  keyDuringTheScan(VK_TAB, true);
  EXPECT_EQ(focusOf(ui), cancel) << "Shift+Tab";
  ScanWatch::releaseWithKeyStroke(ui, VK_SPACE);
  HWND question = waitForConfirmDialog(ui);
  ASSERT_TRUE(question) << "Space on Cancel asked nothing";
  EXPECT_EQ(windowText(item(question, IDC_MESSAGE_TEXT)), "Terminate the Scan now?");
  EXPECT_EQ(focusOf(ui), item(question, IDC_YES_BUTTON));
  ui.pressKey(VK_RETURN);
  ASSERT_TRUE(ScanWatch::waitFinished());
  ui.sync();
  EXPECT_EQ(windowText(item(main, IDC_STATUS_LABEL)), "Scanning terminated");
  EXPECT_EQ(focusOf(ui), item(main, IDC_OK_BUTTON));
  ui.pressKey(VK_RETURN);
  EXPECT_EQ(ui.waitForEnd(), IDOK);
}

// Escape during a scan asks the walker's question; Enter there is Yes.
TEST_F(ScanControl, EnterInTheWalkersQuestionStops) {
  for (int i = 0; i < 8; ++i) plantClean("e" + std::to_string(i) + ".exe");
  UiThread ui(runMainDialog);
  HWND main = startMainDialog(ui);
  ScanWatch::holdAt("\\guitest\\");
  ui.click(item(main, IDC_SCAN_BUTTON));
  ASSERT_TRUE(ScanWatch::waitHeld());
  ScanWatch::releaseWithKeyStroke(ui, VK_ESCAPE);
  HWND question = waitForConfirmDialog(ui);
  ASSERT_TRUE(question);
  EXPECT_EQ(windowText(question), "Drenvalisk Ver 1.0");
  ui.pressKey(VK_RETURN);
  ASSERT_TRUE(ScanWatch::waitFinished());
  ui.sync();
  EXPECT_EQ(openQuestionCount(ui), 0) << "one Escape stroke, one question";
  EXPECT_EQ(windowText(item(main, IDC_STATUS_LABEL)), "Scanning terminated");
  ui.pressKey(VK_ESCAPE);
  EXPECT_EQ(ui.waitForEnd(), IDCANCEL);
}
