#include "framework/dialog.h"

#include "framework/win_app.h"

const MessageEntry CDialog::kMessages[] = {
    onCommand(IDOK, &CDialog::OnOK),
    onCommand(IDCANCEL, &CDialog::OnCancel),
    kEndOfMessages,
};
const MessageMap CDialog::kMessageMap = {&CWnd::kMessageMap, CDialog::kMessages};

INT_PTR CDialog::DoModal() {
  HWND owner = nullptr;
  if (m_parent) {
    owner = m_parent->m_hWnd;
  } else if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd && app->m_pMainWnd != this) {
    owner = app->m_pMainWnd->m_hWnd;
  }
  return ::DialogBoxParamA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(m_templateId), owner,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

HBRUSH CDialog::OnCtlColor(HDC dc, HWND control, UINT kind) {
  return reinterpret_cast<HBRUSH>(::DefWindowProcA(m_hWnd, WM_CTLCOLORMSGBOX + kind,
                                                   reinterpret_cast<WPARAM>(dc),
                                                   reinterpret_cast<LPARAM>(control)));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialog*>(lParam);
    self->m_hWnd = window;
    ::SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
    RECT before, after;
    ::GetWindowRect(window, &before);
    BOOL result = self->OnInitDialog();
    ::GetWindowRect(window, &after);
    // A dialog that its initialisation did not move is centred before it
    // is first shown: over its owner, or on the screen.
    if (!::IsWindowVisible(window) && before.left == after.left && before.top == after.top)
      self->CenterWindow(::GetWindow(window, GW_OWNER));
    return result;
  }
  auto* self = static_cast<CDialog*>(FromHandle(window));
  if (!self) return FALSE;
  INT_PTR result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
  }
  return result;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    return reinterpret_cast<INT_PTR>(OnCtlColor(reinterpret_cast<HDC>(wParam),
                                                reinterpret_cast<HWND>(lParam),
                                                message - WM_CTLCOLORMSGBOX));
  }
  if (message == WM_DRAWITEM) {
    // Owner drawing is the control's own business (MFC's reflection).
    auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
    CWnd* control = FromHandle(item->hwndItem);
    if (!control || control == this) return FALSE;
    control->DrawItem(item);
    return TRUE;
  }
  LRESULT result = 0;
  if (!Dispatch(message, wParam, lParam, &result)) return FALSE;
  // A handled message answers through DWLP_MSGRESULT; returning TRUE keeps
  // the dialog manager's default (for WM_SETREDRAW: hiding the window) away.
  ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}
