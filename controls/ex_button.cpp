#include "controls/ex_button.h"

#include <cstdio>

#include "framework/win_app.h"

const MessageEntry NCExButton::kMessages[] = {
    onMessage(WM_MOUSEMOVE, &NCExButton::OnMouseMove),
    onMessage(WM_KILLFOCUS, &NCExButton::OnKillFocus),
    onMessage(WM_SETFOCUS, &NCExButton::OnSetFocus),
    onMessage(WM_GETDLGCODE, &NCExButton::OnGetDlgCode),
    onMessage(WM_KEYDOWN, &NCExButton::OnKeyDown),
    kEndOfMessages,
};
const MessageMap NCExButton::kMessageMap = {&CWnd::kMessageMap, NCExButton::kMessages};

const MessageEntry CExButton::kMessages[] = {
    onMessage(WM_SETCURSOR, &CExButton::OnSetCursor),
    kEndOfMessages,
};
const MessageMap CExButton::kMessageMap = {&NCExButton::kMessageMap, CExButton::kMessages};

namespace {

HBITMAP loadBitmap(const char* name) {
  return static_cast<HBITMAP>(
      ::LoadImageA(AfxGetInstanceHandle(), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
}

}  // namespace

BOOL NCExButton::SetupFromDialogItem(UINT nID, CWnd* pParent) {
  if (!m_hWnd && !SubclassDlgItem(nID, pParent)) return FALSE;
  char caption[128];
  if (GetWindowText(caption, sizeof caption) <= 0) return FALSE;
  char focus[160], notFocus[160], disable[160];
  std::snprintf(focus, sizeof focus, "%s_FOCUS", caption);
  std::snprintf(notFocus, sizeof notFocus, "%s_NOTFOCUS", caption);
  std::snprintf(disable, sizeof disable, "%s_DISABLE", caption);
  LoadStateBitmaps(focus, notFocus, disable);
  return TRUE;
}

BOOL NCExButton::LoadStateBitmaps(const char* lpszFocus, const char* lpszNotFocus,
                                  const char* lpszDisable) {
  m_bmpFocus.DeleteObject();
  m_bmpNotFocus.DeleteObject();
  m_bmpDisable.DeleteObject();
  HBITMAP focus = loadBitmap(lpszFocus);
  if (!focus) return FALSE;
  m_bmpFocus.Attach(focus);
  HBITMAP notFocus = loadBitmap(lpszNotFocus);
  if (!notFocus) return FALSE;
  m_bmpNotFocus.Attach(notFocus);
  m_bmpDisable.Attach(loadBitmap(lpszDisable));
  return SizeToBitmap();
}

BOOL NCExButton::SizeToBitmap() {
  BITMAP size = {};
  if (!m_bmpNotFocus || !::GetObjectA(m_bmpNotFocus, sizeof size, &size)) return FALSE;
  if (!::SetWindowPos(m_hWnd, nullptr, 0, 0, size.bmWidth, size.bmHeight,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE))
    return FALSE;
  m_rcHit = {0, 0, size.bmWidth, size.bmHeight};
  return TRUE;
}

void NCExButton::DrawItem(DRAWITEMSTRUCT* item) {
  HBITMAP image = m_bmpNotFocus;
  if (m_bHighlight) image = m_bmpFocus;
  else if (item->itemState & ODS_DISABLED) image = m_bmpDisable;
  MemoryDC imageDC(item->hDC);
  SelectScope selected(imageDC, image);
  if (!selected.ok()) return;  // that image was never loaded
  const RECT& area = item->rcItem;
  ::BitBlt(item->hDC, area.left, area.top, area.right - area.left, area.bottom - area.top,
           imageDC, 0, 0, SRCCOPY);
}

LRESULT NCExButton::OnMouseMove(WPARAM, LPARAM point) {
  if (::GetCapture() != m_hWnd) {
    ::SetFocus(m_hWnd);
    m_bHighlight = TRUE;
    ::SetCapture(m_hWnd);
    Repaint();
  } else {
    POINT at = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    if (!::PtInRect(&m_rcHit, at) && ::GetCapture() == m_hWnd) {
      ::ReleaseCapture();
      m_bHighlight = FALSE;
      Repaint();
    }
  }
  return Default();
}

LRESULT NCExButton::OnKillFocus(WPARAM, LPARAM) {
  LRESULT result = Default();
  m_bHighlight = FALSE;
  Repaint();
  return result;
}

LRESULT NCExButton::OnSetFocus(WPARAM, LPARAM) {
  LRESULT result = Default();
  m_bHighlight = TRUE;
  Repaint();
  return result;
}

// An owner-drawn button cannot carry the default-button style, so the dialog
// manager would answer Enter with the dialog's IDOK command whatever button is
// highlighted. Asking for the Enter key's message brings it here instead.
LRESULT NCExButton::OnGetDlgCode(WPARAM, LPARAM message) {
  LRESULT code = Default();
  const MSG* key = reinterpret_cast<const MSG*>(message);
  if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
  return code;
}

LRESULT NCExButton::OnKeyDown(WPARAM key, LPARAM flags) {
  if (key != VK_RETURN) return Default();
  // A held-down key repeats: one press, one click.
  if (!(flags & 0x40000000) && ::IsWindowEnabled(m_hWnd))
    ::SendMessageA(::GetParent(m_hWnd), WM_COMMAND,
                   MAKEWPARAM(::GetDlgCtrlID(m_hWnd), BN_CLICKED), reinterpret_cast<LPARAM>(m_hWnd));
  return 0;
}

void CExButton::LoadHandCursor() {
  if (m_hHandCursor.valid()) return;
  char helpProgram[MAX_PATH + 16];
  UINT length = ::GetWindowsDirectoryA(helpProgram, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    lstrcatA(helpProgram, "\\winhlp32.exe");
    if (HMODULE module = ::LoadLibraryA(helpProgram)) {
      if (HCURSOR hand = ::LoadCursorA(module, MAKEINTRESOURCEA(106)))
        m_hHandCursor.reset(reinterpret_cast<HCURSOR>(::CopyIcon(reinterpret_cast<HICON>(hand))));
      ::FreeLibrary(module);
    }
  }
  // Where the help program brings no hand, the system's own (98, 2000 and
  // later have one; elsewhere the standard pointer stays).
  if (!m_hHandCursor.valid()) {
    if (HCURSOR hand = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)))
      m_hHandCursor.reset(reinterpret_cast<HCURSOR>(::CopyIcon(reinterpret_cast<HICON>(hand))));
  }
}

LRESULT CExButton::OnSetCursor(WPARAM, LPARAM) {
  if (!m_hHandCursor.valid()) return Default();
  ::SetCursor(m_hHandCursor.get());
  return TRUE;
}
