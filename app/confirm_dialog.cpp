#include "app/confirm_dialog.h"

#include "app/main_dialog.h"
#include "engine/report_channel.h"
#include "framework/win_app.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kBackground = RGB(207, 233, 254);

// A window's rectangle in screen coordinates.
RECT windowRect(HWND window) {
  RECT rect;
  ::GetWindowRect(window, &rect);
  return rect;
}

void moveTo(HWND window, LONG left, LONG top, LONG width, LONG height) {
  ::MoveWindow(window, left, top, width, height, TRUE);
}

}  // namespace

const MessageEntry CConfirmDlg::kMessages[] = {
    onCommand(IDC_YES_BUTTON, &CConfirmDlg::OnYes),
    onMessage(WM_PAINT, &CConfirmDlg::OnPaint),
    onCommand(IDC_NO_BUTTON, &CConfirmDlg::OnNo),
    onCommand(IDC_OK_ONLY_BUTTON, &CConfirmDlg::OnOkOnly),
    kEndOfMessages,
};
const MessageMap CConfirmDlg::kMessageMap = {&CDialog::kMessageMap, CConfirmDlg::kMessages};

CConfirmDlg::CConfirmDlg(CWnd* pParent)
    : CDialog(IDD_CONFIRM_DIALOG, pParent), m_iconBitmap(IDB_ICON_WARNING) {}

void CConfirmDlg::DoDataExchange() {
  DDX_Control(IDC_ICON_PICTURE, m_iconPicture);
  DDX_Control(IDC_YES_BUTTON, m_yesButton);
  DDX_Control(IDOK, m_okButton);
  DDX_Control(IDC_NO_BUTTON, m_noButton);
  DDX_Control(IDC_OK_ONLY_BUTTON, m_okOnlyButton);
  DDX_Control(IDCANCEL, m_cancelButton);
  DDX_Control(IDC_MESSAGE_TEXT, m_messageText);
}

BOOL CConfirmDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_brush.Attach(::CreateSolidBrush(kBackground));
  GrowWithMessage();
  m_messageText.SetWindowText(m_message.c_str());
  SetWindowText(m_title.empty() ? kProductTitle : m_title.c_str());
  if (g_mainDialog && g_mainDialog->m_hWnd) CenterWindow(g_mainDialog->m_hWnd);
  // The form's first button has the focus, so it is drawn highlighted and is
  // the one Enter presses: Yes, or OK.
  GotoDlgCtrl(m_yesNo ? m_yesButton.m_hWnd : m_okCancel ? m_okButton.m_hWnd : m_okOnlyButton.m_hWnd);
  return FALSE;
}

// The window grows by a step of the message's length. Control rectangles are
// taken as window rectangles measured from the dialog's outer corner (the
// dialog stands at the screen origin) and applied as client positions.
void CConfirmDlg::GrowWithMessage() {
  int length = static_cast<int>(m_message.size());
  int step = 10 * (length / 30 + 1);
  int widen = static_cast<int>(1.25 * step);
  int heighten = step - widen / 4;

  RECT dialog = windowRect(m_hWnd);
  moveTo(m_hWnd, 0, 0, dialog.right - dialog.left + widen, dialog.bottom - dialog.top + heighten);
  LONG buttonTop = windowRect(m_hWnd).bottom - 65;

  RECT message = windowRect(m_messageText.m_hWnd);
  LONG iconTop = message.top - 30;
  moveTo(m_messageText.m_hWnd, message.left, message.top - 25,
         message.right - message.left + widen,
         message.bottom - message.top + heighten + (g_largeFonts ? 25 : 0));

  for (NCExButton* button :
       {&m_okOnlyButton, &m_okButton, &m_cancelButton, &m_yesButton, &m_noButton}) {
    RECT rect = windowRect(button->m_hWnd);
    moveTo(button->m_hWnd, rect.left + widen / 2, buttonTop, rect.right - rect.left,
           rect.bottom - rect.top);
  }
  m_okOnlyButton.ShowWindow(m_okOnly ? SW_SHOW : SW_HIDE);
  m_okButton.ShowWindow(m_okCancel ? SW_SHOW : SW_HIDE);
  m_cancelButton.ShowWindow(m_okCancel ? SW_SHOW : SW_HIDE);
  m_yesButton.ShowWindow(m_yesNo ? SW_SHOW : SW_HIDE);
  m_noButton.ShowWindow(m_yesNo ? SW_SHOW : SW_HIDE);
  for (NCExButton* button :
       {&m_okButton, &m_okOnlyButton, &m_cancelButton, &m_yesButton, &m_noButton})
    button->SetupFromDialogItem(static_cast<UINT>(::GetDlgCtrlID(button->m_hWnd)), this);

  if (step > 30) {
    RECT icon = windowRect(m_iconPicture.m_hWnd);
    moveTo(m_iconPicture.m_hWnd, icon.left, iconTop, icon.right - icon.left,
           icon.bottom - icon.top);
  }
  MakeRoomForMessage();
}

// The steps above give a message of the dialog font at 96 pixels per inch
// its room; a larger font takes more lines. The message area, the window
// and the button row's place grow by the lines the message still lacks.
void CConfirmDlg::MakeRoomForMessage() {
  int lacking = FitTextToControl(m_messageText.m_hWnd, nullptr, m_message.c_str());
  if (lacking <= 0) return;
  RECT dialog = windowRect(m_hWnd);
  moveTo(m_hWnd, dialog.left, dialog.top, dialog.right - dialog.left,
         dialog.bottom - dialog.top + lacking);
  for (NCExButton* button :
       {&m_okOnlyButton, &m_okButton, &m_cancelButton, &m_yesButton, &m_noButton}) {
    RECT rect = windowRect(button->m_hWnd);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
    moveTo(button->m_hWnd, rect.left, rect.top + lacking, rect.right - rect.left,
           rect.bottom - rect.top);
  }
}

// The icon is loaded for each paint and released after it.
LRESULT CConfirmDlg::OnPaint(WPARAM, LPARAM) {
  PaintDC dc(m_hWnd);
  CBitmap icon(static_cast<HBITMAP>(::LoadImageA(AfxGetInstanceHandle(),
                                                 MAKEINTRESOURCEA(m_iconBitmap), IMAGE_BITMAP,
                                                 0, 0, LR_LOADMAP3DCOLORS)));
  if (!icon) return 0;
  WindowDC pictureDC(m_iconPicture.m_hWnd);
  MemoryDC iconDC(pictureDC);
  SelectScope selected(iconDC, icon);
  RECT area;
  m_iconPicture.GetClientRect(&area);
  ::BitBlt(pictureDC, 0, 0, area.right, area.bottom, iconDC, 0, 0, SRCCOPY);
  return 0;
}

HBRUSH CConfirmDlg::OnCtlColor(HDC dc, HWND control, UINT kind) {
  HBRUSH brush = CDialog::OnCtlColor(dc, control, kind);
  ::SetBkMode(dc, TRANSPARENT);
  if (kind == CTLCOLOR_DLG || kind == CTLCOLOR_STATIC) return m_brush;
  return brush;
}
