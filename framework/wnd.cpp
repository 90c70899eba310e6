#include "framework/wnd.h"

const MessageMap CWnd::kMessageMap = {nullptr, nullptr};

CWnd::~CWnd() {
  // A control outliving its object would call into freed memory: give it back
  // its own window procedure.
  if (m_hWnd && m_oldProc && ::IsWindow(m_hWnd)) {
    ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
    ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
  }
}

CWnd* CWnd::FromHandle(HWND window) {
  if (!window) return nullptr;
  return reinterpret_cast<CWnd*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  HWND item = ::GetDlgItem(parent->m_hWnd, static_cast<int>(id));
  if (!item || FromHandle(item)) return FALSE;
  m_hWnd = item;
  ::SetWindowLongPtrA(item, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  m_oldProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(item, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
  return TRUE;
}

void CWnd::CenterWindow(HWND over) const {
  RECT screen, area, window;
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
  area = screen;
  if (over) ::GetWindowRect(over, &area);
  ::GetWindowRect(m_hWnd, &window);
  LONG width = window.right - window.left, height = window.bottom - window.top;
  LONG left = area.left + (area.right - area.left - width) / 2;
  LONG top = area.top + (area.bottom - area.top - height) / 2;
  if (left + width > screen.right) left = screen.right - width;
  if (top + height > screen.bottom) top = screen.bottom - height;
  if (left < screen.left) left = screen.left;
  if (top < screen.top) top = screen.top;
  ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
    for (const MessageEntry* entry = map->entries; entry && entry->message; ++entry) {
      if (entry->message != message) continue;
      if (message == WM_COMMAND &&
          (entry->commandId != LOWORD(wParam) || HIWORD(wParam) != BN_CLICKED))
        continue;
      // Handlers run nested inside one another (a scan pumps messages, see
      // app/main_dialog.h), so the message Default() refers to is kept per call.
      CurrentMessage outer = m_current;
      m_current = {message, wParam, lParam};
      if (entry->onCommand) {
        (this->*entry->onCommand)();
        *result = 0;
      } else {
        *result = (this->*entry->onMessage)(wParam, lParam);
      }
      m_current = outer;
      return true;
    }
  }
  return false;
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_oldProc) return ::CallWindowProcA(m_oldProc, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* self = FromHandle(window);
  if (!self || !self->m_oldProc) return ::DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  if (self->Dispatch(message, wParam, lParam, &result)) return result;
  WNDPROC original = self->m_oldProc;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    self->m_oldProc = nullptr;
  }
  return ::CallWindowProcA(original, window, message, wParam, lParam);
}
