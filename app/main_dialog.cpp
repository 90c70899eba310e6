// The main window: its controls, its initialisation, painting, colours,
// dragging by the surface and the two web pages.
#include "app/main_dialog.h"

#include <shellapi.h>  // ShellExecuteA: the lean windows.h leaves it out

#include <cstdio>
#include <string>

#include "app/scan_binding.h"
#include "controls/region_builder_win32.h"
#include "engine/report_channel.h"
#include "framework/win_app.h"
#include "platform/registry.h"
#include "res/resource.h"

CMainDlg* g_mainDialog = nullptr;
CBrush g_whiteBrush;
bool g_largeFonts = false;

namespace {

constexpr const char* kProductKey = "Software\\Vexmoor\\Sentravo 2000";
constexpr const char* kProductPage = "http://www.vexmoor.example/sentravo/";
constexpr const char* kToolsPage = "http://www.vexmoor.example/removal-tools/";
constexpr int kDesignWidth = 600, kDesignHeight = 337;
constexpr int kWindowWidth = 600, kWindowHeight = 462;
constexpr COLORREF kSkinKey = RGB(255, 0, 255);
// The widest a centred text line may grow: the skin's white panel.
constexpr int kPanelTextWidth = 500;
// Characters of a path in the status label (the walker shortens to this).
constexpr int kStatusWidth = 60;

OpenPageHook g_openPageHook = nullptr;

void openPage(const char* address) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%s", address);
  if (g_openPageHook) {
    g_openPageHook(buffer);
    return;
  }
  ::ShellExecuteA(nullptr, "open", buffer, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

void setOpenPageHook(OpenPageHook hook) { g_openPageHook = hook; }

const MessageEntry CMainDlg::kMessages[] = {
    onMessage(WM_ENABLE, &CMainDlg::OnStatusText),
    onMessage(WM_SETREDRAW, &CMainDlg::OnReportLine),
    onMessage(WM_TIMER, &CMainDlg::OnTimer),
    onMessage(WM_PAINT, &CMainDlg::OnPaint),
    onCommand(IDC_SCAN_BUTTON, &CMainDlg::OnScanButton),
    onCommand(IDC_CLOSE_BUTTON, &CMainDlg::OnCloseButton),
    onCommand(IDC_DOWNLOAD_BUTTON, &CMainDlg::OnProductPage),
    onMessage(WM_LBUTTONDOWN, &CMainDlg::OnLButtonDown),
    onCommand(IDC_OK_BUTTON, &CMainDlg::OnOkButton),
    onCommand(IDC_PRODUCT_LINK, &CMainDlg::OnProductPage),
    onCommand(IDC_TOOLS_LINK, &CMainDlg::OnToolsPage),
    kEndOfMessages,
};
const MessageMap CMainDlg::kMessageMap = {&CDialog::kMessageMap, CMainDlg::kMessages};

CMainDlg::CMainDlg(CWnd* pParent) : CDialog(IDD_MAIN_DIALOG, pParent) {
  m_icon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_APP_ICON));
}

CMainDlg::~CMainDlg() {
  if (g_mainDialog == this) g_mainDialog = nullptr;
}

void CMainDlg::DoDataExchange() {
  DDX_Control(IDC_REPORT_FRAME, m_reportFrame);
  DDX_Control(IDC_LOGO_BUTTON, m_logoButton);
  DDX_Control(IDC_TOOLS_LINK, m_toolsLink);
  DDX_Control(IDC_PRODUCT_LINK, m_productLink);
  DDX_Control(IDC_SEARCHING_TEXT, m_searchingText);
  DDX_Control(IDC_PRODUCT_TEXT, m_productText);
  DDX_Control(IDC_HEADLINE_TEXT, m_headlineText);
  DDX_Control(IDC_MAKER_TEXT, m_makerText);
  DDX_Control(IDC_FAMILY_LABEL, m_familyLabel);
  DDX_Control(IDCANCEL, m_cancelButton);
  DDX_Control(IDC_STATUS_FRAME, m_statusFrame);
  DDX_Control(IDC_STATUS_LABEL, m_statusLabel);
  DDX_Control(IDC_REPORT_LIST, m_reportList);
  DDX_Control(IDC_CLOSE_BUTTON, m_closeButton);
  DDX_Control(IDC_DOWNLOAD_BUTTON, m_downloadButton);
  DDX_Control(IDC_SCAN_BUTTON, m_scanButton);
  DDX_Control(IDC_OK_BUTTON, m_okButton);
}

BOOL CMainDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (CWnd* hidden : {static_cast<CWnd*>(&m_statusLabel), static_cast<CWnd*>(&m_statusFrame),
                       static_cast<CWnd*>(&m_searchingText), static_cast<CWnd*>(&m_reportList),
                       static_cast<CWnd*>(&m_reportFrame), static_cast<CWnd*>(&m_cancelButton)})
    hidden->ShowWindow(SW_HIDE);
  m_okButton.EnableWindow(FALSE);
  m_okButton.ShowWindow(SW_HIDE);
  // The status label shows from SCAN on, before the scan's first status.
  m_statusLabel.SetWindowText("");
  g_mainDialog = this;
  bindDialogChannel();
  BuildLabelFont(g_labelFont, 15, 700, FALSE, FALSE);

  char text[260];
  std::snprintf(text, sizeof text, "%s%s%s%s", kProductTitle,
                " - Tool to detect and remove all the variants of ", kFamilyName, " Trojan ");
  m_headlineText.SetWindowText(text);
  std::snprintf(text, sizeof text, "for %s Trojan ", kFamilyName);
  m_familyLabel.SetWindowText(text);
  m_makerText.SetWindowText("A free removal tool from Vexmoor Software Ltd.");
  m_productText.SetWindowText("This program is a part of Sentravo antivirus software.");
  {
    WindowDC dc(m_hWnd);
    g_largeFonts = ::GetDeviceCaps(dc, LOGPIXELSX) >= 120;
  }
  RelayoutChildren(m_hWnd, kDesignWidth, kDesignHeight);
  ::MoveWindow(m_hWnd, 0, 0, kWindowWidth, kWindowHeight, TRUE);
  if (IsProductInstalled()) {
    m_productLink.EnableWindow(FALSE);
    m_productLink.ShowWindow(SW_HIDE);
    m_downloadButton.EnableWindow(FALSE);
  } else {
    m_productText.ShowWindow(SW_HIDE);
  }
  g_whiteBrush.Attach(::CreateSolidBrush(RGB(255, 255, 255)));
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
  ::SetWindowLongA(m_hWnd, GWL_STYLE,
                   ::GetWindowLongA(m_hWnd, GWL_STYLE) | WS_SYSMENU | WS_MINIMIZEBOX);
  LoadSkin();
  for (CExButton* button : {&m_okButton, &m_cancelButton, &m_scanButton, &m_downloadButton,
                            &m_closeButton, &m_toolsLink, &m_productLink, &m_logoButton})
    button->SetupFromDialogItem(static_cast<UINT>(::GetDlgCtrlID(button->m_hWnd)), this);
  SetWindowText(kProductTitle);
  FitTexts();
  for (CExButton* button : {&m_scanButton, &m_closeButton, &m_downloadButton, &m_okButton,
                            &m_cancelButton, &m_productLink, &m_toolsLink})
    button->LoadHandCursor();
  return TRUE;
}

namespace {

// A child's rectangle in its parent's client coordinates.
RECT childRect(HWND child) {
  RECT rect;
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void placeChild(HWND child, const RECT& rect) {
  ::MoveWindow(child, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

}  // namespace

// The dialog font grows with the screen's logical pixels per inch while the
// layout keeps its size in pixels: each text line is given the room its text
// takes in its font.
void CMainDlg::FitTexts() {
  for (CStatic* text : {&m_headlineText, &m_makerText, &m_productText})
    FitTextToControl(text->m_hWnd, nullptr, nullptr, kPanelTextWidth);
  FitTextToControl(m_familyLabel.m_hWnd, g_labelFont, nullptr, kPanelTextWidth);
  MakeRoomForStatus();
}

// The status label shows paths cut to 60 characters (the walker's width).
// Where 60 characters of its font do not fit one line, it gets two, and the
// status frame grows with it, the report frame and list giving up the room.
void CMainDlg::MakeRoomForStatus() {
  TEXTMETRICA metrics = {};
  {
    WindowDC dc(nullptr);
    SelectScope font(dc, m_statusLabel.GetFont());
    ::GetTextMetricsA(dc, &metrics);
  }
  RECT label = childRect(m_statusLabel.m_hWnd);
  int lines = kStatusWidth * metrics.tmAveCharWidth > label.right - label.left ? 2 : 1;
  int grown = lines * metrics.tmHeight - (label.bottom - label.top);
  if (grown <= 0) return;
  label.bottom += grown;
  placeChild(m_statusLabel.m_hWnd, label);
  RECT frame = childRect(m_statusFrame.m_hWnd);
  if (label.bottom + 2 <= frame.bottom) return;
  int lower = label.bottom + 2 - frame.bottom;
  frame.bottom += lower;
  placeChild(m_statusFrame.m_hWnd, frame);
  for (CWnd* below : {static_cast<CWnd*>(&m_reportFrame), static_cast<CWnd*>(&m_reportList)}) {
    RECT rect = childRect(below->m_hWnd);
    rect.top += lower;
    placeChild(below->m_hWnd, rect);
  }
}

// The skin, the outline cut from it, and the memory context it is painted from.
void CMainDlg::LoadSkin() {
  m_skinBitmap.Attach(static_cast<HBITMAP>(::LoadImageA(AfxGetInstanceHandle(),
                                                        MAKEINTRESOURCEA(IDB_SKIN), IMAGE_BITMAP,
                                                        0, 0, LR_LOADMAP3DCOLORS)));
  // The window owns a region once it is set.
  if (HRGN region = CreateRegionFromBitmap(m_skinBitmap, kSkinKey, TRUE))
    ::SetWindowRgn(m_hWnd, region, TRUE);
  ::GetObjectA(m_skinBitmap, sizeof m_skinSize, &m_skinSize);
  m_skinDC.reset(::CreateCompatibleDC(nullptr));
  m_skinSelected.select(m_skinDC.get(), m_skinBitmap);
}

LRESULT CMainDlg::OnPaint(WPARAM, LPARAM) {
  PaintDC dc(m_hWnd);
  ::BitBlt(dc, 0, 0, m_skinSize.bmWidth, m_skinSize.bmHeight, m_skinDC.get(), 0, 0, SRCCOPY);
  return 0;
}

HBRUSH CMainDlg::OnCtlColor(HDC dc, HWND control, UINT kind) {
  HBRUSH brush = CDialog::OnCtlColor(dc, control, kind);
  ::SetBkMode(dc, TRANSPARENT);
  if (control == m_familyLabel.m_hWnd) return brush;
  if (kind == CTLCOLOR_DLG || kind == CTLCOLOR_STATIC) return g_whiteBrush;
  return brush;
}

// A press anywhere on the surface drags the window as a caption bar would.
LRESULT CMainDlg::OnLButtonDown(WPARAM, LPARAM point) {
  ::PostMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION,
                 MAKELPARAM(static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))));
  return Default();
}

void CMainDlg::OnProductPage() { openPage(kProductPage); }

void CMainDlg::OnToolsPage() { openPage(kToolsPage); }

void BuildLabelFont(CFont& font, int height, int weight, BOOL underline, BOOL italic) {
  HFONT base = g_mainDialog ? g_mainDialog->GetFont() : nullptr;
  if (!base) base = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
  LOGFONTA description = {};
  ::GetObjectA(base, sizeof description, &description);
  description.lfHeight = height;
  description.lfWeight = weight;
  description.lfUnderline = static_cast<BYTE>(underline);
  description.lfItalic = static_cast<BYTE>(italic);
  font.Attach(::CreateFontIndirectA(&description));
}

bool IsProductInstalled() {
  ScopedRegKey key;
  if (regOpenKeyEx(PLATFORM_HKEY_LOCAL_MACHINE, kProductKey, kKeyRead, key.receive()) !=
      kErrorSuccess)
    return false;
  uint32_t size = 0;
  if (regQueryValueEx(key.get(), "Installed Folder", nullptr, nullptr, &size) != kErrorSuccess)
    return false;
  // Only the value's presence counts: a longer value fills the buffer and
  // is present all the same.
  uint8_t folder[300] = {};
  uint32_t capacity = sizeof folder;
  long read = regQueryValueEx(key.get(), "Installed Folder", nullptr, folder, &capacity);
  if (read != kErrorSuccess && read != kErrorMoreData) return false;
  return key.close() == kErrorSuccess;
}

SIZE MeasureText(HFONT font, const char* text, int width, UINT format) {
  WindowDC dc(nullptr);
  SelectScope selected(dc, font);
  RECT area = {0, 0, width, 0};
  ::DrawTextA(dc, text, -1, &area, format | DT_CALCRECT);
  return {area.right - area.left, area.bottom - area.top};
}

namespace {

// DrawText's format for a static text control's style.
UINT staticFormat(HWND control) {
  LONG style = ::GetWindowLongA(control, GWL_STYLE);
  UINT format = DT_EXPANDTABS | DT_WORDBREAK;
  if ((style & SS_TYPEMASK) == SS_CENTER) format |= DT_CENTER;
  if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
  return format;
}

}  // namespace

int FitTextToControl(HWND control, HFONT font, const char* text, int maxWidth) {
  std::string own;
  if (!text) {
    own.assign(static_cast<size_t>(::GetWindowTextLengthA(control)) + 1, '\0');
    own.resize(static_cast<size_t>(::GetWindowTextA(control, &own[0], int(own.size()))));
    text = own.c_str();
  }
  if (!font) font = reinterpret_cast<HFONT>(::SendMessageA(control, WM_GETFONT, 0, 0));
  RECT rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  SIZE needed = MeasureText(font, text, width, staticFormat(control));
  if (needed.cx > width) {
    LONG wider = maxWidth > width ? (needed.cx < maxWidth ? needed.cx : maxWidth) : width;
    rect.left -= (wider - width) / 2;
    width = wider;
    needed = MeasureText(font, text, width, staticFormat(control));
  }
  int grown = needed.cy > height ? needed.cy - height : 0;
  if (grown == 0 && width == rect.right - rect.left) return 0;
  ::MoveWindow(control, rect.left, rect.top, width, height + grown, TRUE);
  return grown;
}

namespace {

struct Relayout {
  HWND window;
  double scaleX, scaleY;
};

BOOL CALLBACK relayoutChild(HWND child, LPARAM context) {
  const Relayout& layout = *reinterpret_cast<const Relayout*>(context);
  RECT rect;
  ::GetWindowRect(child, &rect);
  POINT topLeft = {static_cast<LONG>(rect.left / layout.scaleX),
                   static_cast<LONG>(rect.top / layout.scaleY)};
  LONG right = static_cast<LONG>(rect.right / layout.scaleX);
  LONG bottom = static_cast<LONG>(rect.bottom / layout.scaleY);
  LONG width = right - topLeft.x, height = bottom - topLeft.y;
  ::ScreenToClient(::GetParent(child), &topLeft);
  ::MoveWindow(child, topLeft.x, topLeft.y, width, height, TRUE);
  return TRUE;
}

}  // namespace

// The division applies to screen positions: the dialog stands at the screen's
// top-left corner while it initialises.
void RelayoutChildren(HWND window, int designWidth, int designHeight) {
  RECT client;
  ::GetClientRect(window, &client);
  Relayout layout = {window, static_cast<double>(client.right) / designWidth,
                     static_cast<double>(client.bottom) / designHeight};
  if (layout.scaleX <= 0 || layout.scaleY <= 0) return;
  ::EnumChildWindows(window, relayoutChild, reinterpret_cast<LPARAM>(&layout));
}
