// The main window: a captionless dialog whose surface is the skin bitmap,
// with skinned buttons, the text lines, the status line and the report list.
//
// How a scan runs inside this dialog (read this before changing a handler)
// ------------------------------------------------------------------------
// Everything runs on one thread. SCAN arms a 100 ms timer; its first tick
// calls OnTimer, which calls runScan, which returns only when the scan has
// ended. Meanwhile the window lives only through the walker's pump
// (pumpOneMessage, engine/walker.cpp): before and after each directory entry
// it takes one message from the thread's queue and dispatches it, handing key
// messages to the dialog manager first (platform/win32/messages.cpp) so that
// Tab, Enter and Space work as in the dialog's own modal loop. Every handler
// here (painting, dragging, Cancel, X, OK, the refresh timer, a question's
// own modal loop) can therefore run nested inside OnTimer, inside runScan,
// inside the walker; and a question's modal loop dispatches this dialog's
// messages too.
//
// - Report lines travel synchronously: the engine writes g_session.reportLine
//   (or statusText) and sends this window message 0x000B (0x000A); the
//   handler copies the text before the send returns, since the engine reuses
//   its buffer, and answers TRUE with result 0 (CDialog::HandleMessage), so
//   the messages' standard meanings (WM_SETREDRAW, WM_ENABLE) never apply.
//   The screen follows at most every 40 ms (RefreshScanView).
// - CWnd::Dispatch saves and restores m_current around each handler: Default()
//   forwards "the message being handled", and a handler nested inside another
//   one would otherwise leave the outer one forwarding the inner message.
// - The refresh timer's id must never be 27, nor any control id a command
//   carries: the walker's pump takes any message whose wParam's low word is
//   27 (the Escape key's code) for Escape, asks whether to stop and dispatches
//   nothing, so such a timer would ask at every tick.
// - What keeps the nesting sound: SCAN is disabled before the timer is armed;
//   the scan starts from a tick only once and only while no question of the
//   program is open (a tick inside the stop question would otherwise run the
//   whole scan under it); the stop flag is cleared at SCAN, not at the tick,
//   so a stop confirmed before the first tick holds; a confirmed stop is a
//   flag the walker reads right after each pump; OK and the ways out after a
//   confirmed stop end the dialog only once runScan has returned
//   (m_endResult); and at most one question is open at a time.
#pragma once
#include "controls/ex_button.h"
#include "controls/ex_label.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/gdi.h"

class CMainDlg : public CDialog {
 public:
  explicit CMainDlg(CWnd* pParent = nullptr);
  ~CMainDlg() override;

  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  // The Enter key's command (id 1) does nothing; only the OK button ends the dialog.
  void OnOK() override {}
  // Cancel, Escape and the window menu's Close: end the dialog, or during a
  // scan ask whether to stop it.
  void OnCancel() override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) override;

  DECLARE_MESSAGE_MAP()

 protected:
  // Main window (main_dialog.cpp).
  LRESULT OnPaint(WPARAM, LPARAM);
  LRESULT OnLButtonDown(WPARAM keys, LPARAM point);
  void OnProductPage();
  void OnToolsPage();
  void LoadSkin();
  void FitTexts();
  void MakeRoomForStatus();

  // Scan control and report list (scan_control.cpp).
  void OnScanButton();
  LRESULT OnTimer(WPARAM id, LPARAM);
  void OnCloseButton();
  void OnOkButton();
  LRESULT OnReportLine(WPARAM, LPARAM);
  LRESULT OnStatusText(WPARAM, LPARAM);
  void HoldListDrawing();
  void ScheduleRefresh();
  void RefreshScanView();
  static void CALLBACK OnRefreshDue(HWND label, UINT, UINT_PTR, DWORD);
  void UpdateListExtent();
  void AskToStopScan(const char* caption);
  void EndAfterScan(INT_PTR result);

  CButton m_reportFrame;
  CExButton m_logoButton;
  CExButton m_toolsLink;
  CExButton m_productLink;
  CStatic m_searchingText;
  CStatic m_productText;
  CStatic m_headlineText;
  CStatic m_makerText;
  CExLabel m_familyLabel;
  CExButton m_cancelButton;
  CButton m_statusFrame;
  CStatic m_statusLabel;
  CListBox m_reportList;
  CExButton m_closeButton;
  CExButton m_downloadButton;
  CExButton m_scanButton;
  CExButton m_okButton;

  HICON m_icon = nullptr;
  // Declared in this order so that the skin leaves its context before the
  // context and then the bitmap are deleted.
  CBitmap m_skinBitmap;
  ScopedHandle<MemoryDCTraits> m_skinDC;
  SelectScope m_skinSelected;
  BITMAP m_skinSize = {};
  // The search line's bold font, made at the first SCAN and kept while the
  // line shows it.
  CFont m_searchFont;
  // What the scan has sent that the screen does not show yet: the newest
  // status text, lines the list holds but has not drawn (scan_control.cpp).
  char m_statusText[260] = {};
  bool m_statusChanged = false;
  bool m_listHeld = false;
  bool m_refreshPending = false;
  DWORD m_refreshedAt = 0;
  // The scan driver has been called (it runs once per program run).
  bool m_scanStarted = false;
  // OK or a way out pressed after a confirmed stop, before the driver
  // returned: the dialog ends with this result once it has (0: none).
  INT_PTR m_endResult = 0;
};

// The trojan family the tool removes, as its texts name it.
constexpr const char* kFamilyName = "W32/Tarvolinex";

// The main dialog while it exists: the confirmation dialog centres on it.
extern CMainDlg* g_mainDialog;
// Background of the dialog and its static texts.
extern CBrush g_whiteBrush;
// The screen has 120 or more logical pixels per inch horizontally.
extern bool g_largeFonts;

// Opens a web page with the shell ("open"); tests replace it (null restores).
using OpenPageHook = void (*)(const char* address);
void setOpenPageHook(OpenPageHook hook);

// Fills `font` with the main dialog's font (or the system font) at the given
// height and weight, without underline or italic unless asked.
void BuildLabelFont(CFont& font, int height, int weight, BOOL underline, BOOL italic);
// Whether the maker's antivirus product is installed (its folder is recorded
// in the registry).
bool IsProductInstalled();
// Stretches or shrinks the positions and sizes of `window`'s children so that
// the layout fills a client area of designWidth x designHeight pixels.
void RelayoutChildren(HWND window, int designWidth, int designHeight);
// The size `text` takes drawn with `font` in `width` pixels, as a static
// control draws it with DrawText `format` (word breaks, expanded tabs).
SIZE MeasureText(HFONT font, const char* text, int width, UINT format);
// Grows the static `control` until `text` (its own text when null), drawn
// with `font` (its own when null), fits it: taller by the lines it needs, and
// wider about its centre for a line that cannot break, at most to `maxWidth`
// pixels. Returns how many pixels taller it became.
int FitTextToControl(HWND control, HFONT font = nullptr, const char* text = nullptr,
                     int maxWidth = 0);
