// CWnd: a window handle with the handful of calls the dialogs make, and the
// per-class message table through which a window's messages reach its handlers.
#pragma once
#include <windows.h>

class CWnd;

// A message handler gets the message's parameters and gives its result; a
// command handler (WM_COMMAND from one control id) takes nothing.
using MessageHandler = LRESULT (CWnd::*)(WPARAM, LPARAM);
using CommandHandler = void (CWnd::*)();

struct MessageEntry {
  UINT message;     // 0 ends a table
  UINT commandId;   // for WM_COMMAND entries: the control id
  MessageHandler onMessage;
  CommandHandler onCommand;
};

// A class's table and the table of its base class, searched after it.
struct MessageMap {
  const MessageMap* base;
  const MessageEntry* entries;
};

// Table entries: a handler of class T for `message`, or for command `id`.
template <class T>
constexpr MessageEntry onMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM)) {
  return {message, 0, static_cast<MessageHandler>(handler), nullptr};
}
template <class T>
constexpr MessageEntry onCommand(UINT id, void (T::*handler)()) {
  return {WM_COMMAND, id, nullptr, static_cast<CommandHandler>(handler)};
}
constexpr MessageEntry kEndOfMessages = {0, 0, nullptr, nullptr};

// In a class body: declares its table. In its source file:
//   const MessageEntry Class::kMessages[] = {..., kEndOfMessages};
//   const MessageMap Class::kMessageMap = {&Base::kMessageMap, Class::kMessages};
#define DECLARE_MESSAGE_MAP()                  \
 public:                                       \
  static const MessageEntry kMessages[];       \
  static const MessageMap kMessageMap;         \
  const MessageMap* GetMessageMap() const override { return &kMessageMap; }

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The window object behind `window`, when it is one of ours (a dialog or a
  // subclassed control), else null.
  static CWnd* FromHandle(HWND window);

  // Attaches to item `id` of `parent` and routes its messages through this
  // object's table (the control keeps its own window procedure as default).
  BOOL SubclassDlgItem(UINT id, CWnd* parent);

  static const MessageMap kMessageMap;
  virtual const MessageMap* GetMessageMap() const { return &kMessageMap; }

  // The default processing of the message being handled.
  LRESULT Default();
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // An owner-drawn control's drawing, reached through its owner's WM_DRAWITEM.
  virtual void DrawItem(DRAWITEMSTRUCT*) {}

  // Thin forwards to the Win32 calls of the same names.
  BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }
  BOOL EnableWindow(BOOL enable) const { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  void SetWindowText(const char* text) const { ::SetWindowTextA(m_hWnd, text); }
  int GetWindowText(char* text, int capacity) const {
    return ::GetWindowTextA(m_hWnd, text, capacity);
  }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
  void MoveWindow(const RECT& rect, BOOL repaint = TRUE) const {
    ::MoveWindow(m_hWnd, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 repaint);
  }
  void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  // Centres the window over `over` (null: the screen's work area), keeping it
  // within the work area.
  void CenterWindow(HWND over = nullptr) const;
  HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
  void SetFont(HFONT font, BOOL redraw = TRUE) const {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
  }

 protected:
  // Looks `message` up in the class's tables; true when a handler ran.
  bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // The message being handled, for Default().
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } m_current = {};

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  WNDPROC m_oldProc = nullptr;
};
