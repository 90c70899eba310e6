// The main dialog's side of a scan: SCAN, the timer the scan runs in, Cancel
// and X, and the receiving end of the report channel.
#include <string>

#include "app/confirm_box.h"
#include "app/main_dialog.h"
#include "app/scan_binding.h"
#include "engine/driver.h"
#include "engine/session.h"
#include "platform/messages.h"
#include "res/resource.h"

namespace {

constexpr UINT_PTR kScanTimer = 100;
constexpr UINT kScanTimerPeriod = 100;
// The screen follows the scan at most every 40 ms, by a timer of the status
// label's window (never id 27: app/main_dialog.h says why).
constexpr UINT_PTR kRefreshTimer = 1;
constexpr DWORD kRefreshInterval = 40;
constexpr int kReportCap = 150;
constexpr int kExtentThreshold = 560;

void sendLineToDialog(const char*) {
  ::SendMessageA(static_cast<HWND>(g_session.reportWindow), WM_SETREDRAW, 0, 0);
}

void sendStatusToDialog(const char*) {
  ::SendMessageA(static_cast<HWND>(g_session.reportWindow), WM_ENABLE, 0, 0);
}

}  // namespace

ReportSink dialogReportSink() { return ReportSink{sendLineToDialog, sendStatusToDialog}; }

void bindDialogChannel() {
  bindReportChannel(dialogReportSink());
  bindConfirmBox(ShowConfirmBox);
}

void CMainDlg::OnScanButton() {
  g_session.scanRunning = 1;
  // A stop confirmed from here on, even before the first tick, ends the scan.
  g_session.stopRequested = 0;
  m_scanButton.EnableWindow(FALSE);
  for (CExButton* link : {&m_toolsLink, &m_productLink}) {
    link->EnableWindow(FALSE);
    link->ShowWindow(SW_HIDE);
  }
  m_cancelButton.EnableWindow(TRUE);
  m_cancelButton.ShowWindow(SW_SHOW);
  // Disabling SCAN took the focus away: the keyboard goes on at Cancel.
  GotoDlgCtrl(m_cancelButton.m_hWnd);
  m_okButton.EnableWindow(TRUE);
  for (CWnd* text : {&m_headlineText, &m_productText, &m_makerText}) text->ShowWindow(SW_HIDE);
  for (CWnd* shown : {static_cast<CWnd*>(&m_searchingText), static_cast<CWnd*>(&m_reportList),
                      static_cast<CWnd*>(&m_statusLabel), static_cast<CWnd*>(&m_statusFrame),
                      static_cast<CWnd*>(&m_reportFrame)})
    shown->ShowWindow(SW_SHOW);
  m_statusFrame.SetWindowText("Scanning");
  std::string searching = std::string("Searching for ") + kFamilyName + " Trojan and its variants";
  m_searchingText.SetWindowText(searching.c_str());
  if (!m_searchFont) {
    m_searchFont.Attach(::CreateFontA(15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      FF_SWISS | DEFAULT_PITCH, "Arial"));
  }
  m_searchingText.SetFont(m_searchFont, TRUE);
  FitTextToControl(m_searchingText.m_hWnd);
  copyText(g_session.scanTarget, "!:", sizeof g_session.scanTarget);
  g_session.reportWindow = m_hWnd;
  g_session.actionCode = kActionDelete;
  ::SetTimer(m_hWnd, kScanTimer, kScanTimerPeriod, nullptr);
}

// The whole scan runs here; the walker keeps the window alive meanwhile. A
// tick that comes while a question of ours is open (the stop question asked
// before the first tick) starts nothing: the timer ticks on, and the scan
// starts after the answer, at once ending as terminated after a Yes.
LRESULT CMainDlg::OnTimer(WPARAM id, LPARAM) {
  Default();
  if (id != kScanTimer || m_scanStarted || QuestionOpen()) return 0;
  m_scanStarted = true;
  ::KillTimer(m_hWnd, kScanTimer);
  runScan();
  RefreshScanView();  // the report's end and the final status, at once
  m_cancelButton.ShowWindow(SW_HIDE);
  m_okButton.ShowWindow(SW_SHOW);
  GotoDlgCtrl(m_okButton.m_hWnd);
  m_searchingText.ShowWindow(SW_HIDE);
  m_statusFrame.SetWindowText("");
  g_session.scanRunning = 0;
  if (m_endResult) EndDialog(m_endResult);
  return 0;
}

void CMainDlg::OnCancel() { AskToStopScan(kProductTitle); }

void CMainDlg::OnCloseButton() { AskToStopScan("DialogBoxTitle"); }

// OK shows only once the scan has ended or a stop is confirmed; in the latter
// case the dialog ends when the driver has returned, after the report's end.
void CMainDlg::OnOkButton() {
  if (g_session.scanRunning) {
    EndAfterScan(IDOK);
    return;
  }
  CDialog::OnOK();
}

void CMainDlg::AskToStopScan(const char* caption) {
  if (!g_session.scanRunning) {
    CDialog::OnCancel();
    return;
  }
  // The stop is confirmed already: leave as soon as the scan has wound down.
  if (g_session.stopRequested) {
    EndAfterScan(IDCANCEL);
    return;
  }
  // One question at a time (a click can reach this window while one is open).
  if (QuestionOpen()) return;
  if (ConfirmBox(kStopQuestion, caption, kMbYesNo | kMbIconQuestion) != kIdYes) return;
  m_cancelButton.ShowWindow(SW_HIDE);
  m_okButton.ShowWindow(SW_SHOW);
  GotoDlgCtrl(m_okButton.m_hWnd);
  g_session.stopRequested = 1;
}

void CMainDlg::EndAfterScan(INT_PTR result) { m_endResult = result; }

LRESULT CMainDlg::OnReportLine(WPARAM, LPARAM) {
  HoldListDrawing();
  if (m_reportList.GetCount() >= kReportCap && !g_session.scanFinished)
    m_reportList.ResetContent();
  m_reportList.AddString(g_session.reportLine);
  int count = m_reportList.GetCount();
  // Lists of one or two lines ask for a line past the end: nothing is selected.
  m_reportList.SetCurSel(count > 2 ? count - 1 : count);
  UpdateListExtent();
  ScheduleRefresh();
  return 0;
}

// Measured with the context's default font, not the list's own.
void CMainDlg::UpdateListExtent() {
  WindowDC dc(m_reportList.m_hWnd);
  int widest = 0;
  std::string line;
  for (int i = 0, count = m_reportList.GetCount(); i < count; ++i) {
    int length = m_reportList.GetTextLen(i);
    if (length <= 0) continue;
    line.assign(static_cast<size_t>(length) + 1, '\0');
    length = m_reportList.GetText(i, &line[0]);
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, line.c_str(), length, &size);
    if (size.cx > widest) widest = size.cx;
  }
  if (m_reportList.GetHorizontalExtent() < widest && widest > kExtentThreshold)
    m_reportList.SetHorizontalExtent(3 * widest / 4);
}

LRESULT CMainDlg::OnStatusText(WPARAM, LPARAM) {
  copyText(m_statusText, g_session.statusText, sizeof m_statusText);
  m_statusChanged = true;
  ScheduleRefresh();
  return 0;
}

// The list takes lines without drawing them until the next refresh: drawing
// a line and moving the scroll bars costs several milliseconds each time.
void CMainDlg::HoldListDrawing() {
  if (m_listHeld) return;
  m_reportList.SendMessage(WM_SETREDRAW, FALSE, 0);
  m_listHeld = true;
}

// The status label and the report list show what the scan sent at once when
// they last changed 40 ms ago or more, else when the 40 ms are over. Drawing
// them for each of the walk's entries took longer than the walk itself, for a
// flicker of paths too fast to read; the texts themselves are the dialog's
// own copies from the moment they arrive.
void CMainDlg::ScheduleRefresh() {
  if (m_refreshPending) return;
  m_refreshPending = true;
  DWORD sinceRefreshed = ::GetTickCount() - m_refreshedAt;
  if (sinceRefreshed >= kRefreshInterval)
    RefreshScanView();
  else
    ::SetTimer(m_statusLabel.m_hWnd, kRefreshTimer, kRefreshInterval - sinceRefreshed, OnRefreshDue);
}

// Shows at once what waits for the next refresh.
void CMainDlg::RefreshScanView() {
  if (!m_refreshPending) return;
  ::KillTimer(m_statusLabel.m_hWnd, kRefreshTimer);
  m_refreshPending = false;
  m_refreshedAt = ::GetTickCount();
  if (m_statusChanged) {
    m_statusChanged = false;
    m_statusLabel.SetWindowText(m_statusText);
  }
  if (m_listHeld) {
    m_listHeld = false;
    m_reportList.SendMessage(WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_reportList.m_hWnd, nullptr, TRUE);
  }
}

void CALLBACK CMainDlg::OnRefreshDue(HWND, UINT, UINT_PTR, DWORD) {
  if (g_mainDialog) g_mainDialog->RefreshScanView();
}
