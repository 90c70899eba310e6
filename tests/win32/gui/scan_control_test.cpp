// A scan as a person runs it from the main window: the layout in each state,
// stopping with Cancel, X and Escape, the report list, and leaving.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/session.h"
#include "tests/win32/gui/gui_test_support.h"

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
