// What the tests of the main window share: a fresh session and planted
// folder per test, and the controls' expected look in each scan state.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>

#include "engine/session.h"
#include "res/resource.h"
#include "tests/win32/gui/gui_harness.h"

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetScanSession();
    removePlanted();
    openedPages().clear();
  }
  void TearDown() override { removePlanted(); }
};

// One control's expected look: shown or hidden, and enabled (1), disabled (0)
// or either (-1).
struct Look {
  int id;
  bool shown;
  int enabled = -1;
};

inline void expectLooks(HWND dialog, std::initializer_list<Look> looks, const char* state) {
  for (const Look& look : looks) {
    HWND control = item(dialog, look.id);
    ASSERT_TRUE(control) << state << ": no control " << look.id;
    EXPECT_EQ(IsWindowVisible(control) != 0, look.shown)
        << state << ": control " << look.id << (look.shown ? " should show" : " should be hidden");
    if (look.enabled >= 0) {
      EXPECT_EQ(IsWindowEnabled(control) != 0, look.enabled == 1)
          << state << ": control " << look.id
          << (look.enabled ? " should be enabled" : " should be disabled");
    }
  }
}

// The main window before a scan, with the maker's product not installed.
inline void expectIdle(HWND main) {
  expectLooks(main,
              {{IDC_SCAN_BUTTON, true, 1}, {IDC_DOWNLOAD_BUTTON, true, 1}, {IDC_CLOSE_BUTTON, true},
               {IDC_LOGO_BUTTON, true}, {IDC_TOOLS_LINK, true, 1}, {IDC_PRODUCT_LINK, true, 1},
               {IDCANCEL, false}, {IDC_OK_BUTTON, false, 0}, {IDC_HEADLINE_TEXT, true},
               {IDC_MAKER_TEXT, true}, {IDC_PRODUCT_TEXT, false}, {IDC_FAMILY_LABEL, true},
               {IDC_SEARCHING_TEXT, false}, {IDC_STATUS_FRAME, false}, {IDC_STATUS_LABEL, false},
               {IDC_REPORT_FRAME, false}, {IDC_REPORT_LIST, false}},
              "Idle");
}

inline void expectScanning(HWND main) {
  expectLooks(main,
              {{IDC_SCAN_BUTTON, true, 0}, {IDC_DOWNLOAD_BUTTON, true, 1}, {IDC_CLOSE_BUTTON, true},
               {IDC_LOGO_BUTTON, true}, {IDC_TOOLS_LINK, false, 0}, {IDC_PRODUCT_LINK, false, 0},
               {IDCANCEL, true, 1}, {IDC_OK_BUTTON, false, 1}, {IDC_HEADLINE_TEXT, false},
               {IDC_MAKER_TEXT, false}, {IDC_PRODUCT_TEXT, false}, {IDC_FAMILY_LABEL, true},
               {IDC_SEARCHING_TEXT, true}, {IDC_STATUS_FRAME, true}, {IDC_STATUS_LABEL, true},
               {IDC_REPORT_FRAME, true}, {IDC_REPORT_LIST, true}},
              "ScanInProgress");
  EXPECT_EQ(windowText(item(main, IDC_STATUS_FRAME)), "Scanning");
  EXPECT_EQ(windowText(item(main, IDC_SEARCHING_TEXT)),
            "Searching for W32/Tarvolinex Trojan and its variants");
}

inline void expectStopConfirmed(HWND main) {
  expectLooks(main,
              {{IDC_SCAN_BUTTON, true, 0}, {IDC_TOOLS_LINK, false}, {IDC_PRODUCT_LINK, false},
               {IDCANCEL, false}, {IDC_OK_BUTTON, true, 1}, {IDC_HEADLINE_TEXT, false},
               {IDC_MAKER_TEXT, false}, {IDC_PRODUCT_TEXT, false}, {IDC_FAMILY_LABEL, true},
               {IDC_SEARCHING_TEXT, true}, {IDC_STATUS_FRAME, true}, {IDC_STATUS_LABEL, true},
               {IDC_REPORT_FRAME, true}, {IDC_REPORT_LIST, true}},
              "after a confirmed stop");
}

inline void expectDone(HWND main) {
  expectLooks(main,
              {{IDC_SCAN_BUTTON, true, 0}, {IDC_DOWNLOAD_BUTTON, true, 1}, {IDC_CLOSE_BUTTON, true},
               {IDC_LOGO_BUTTON, true}, {IDC_TOOLS_LINK, false}, {IDC_PRODUCT_LINK, false},
               {IDCANCEL, false}, {IDC_OK_BUTTON, true, 1}, {IDC_HEADLINE_TEXT, false},
               {IDC_MAKER_TEXT, false}, {IDC_PRODUCT_TEXT, false}, {IDC_FAMILY_LABEL, true},
               {IDC_SEARCHING_TEXT, false}, {IDC_STATUS_FRAME, true}, {IDC_STATUS_LABEL, true},
               {IDC_REPORT_FRAME, true}, {IDC_REPORT_LIST, true}},
              "ScanDone");
  EXPECT_EQ(windowText(item(main, IDC_STATUS_FRAME)), "");
}
