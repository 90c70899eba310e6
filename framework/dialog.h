// CDialog: a modal dialog built from a template, whose messages and commands go
// through the per-class tables of CWnd.
#pragma once
#include "framework/wnd.h"

class CDialog : public CWnd {
 public:
  // `parent` null: the application's main window becomes the owner.
  explicit CDialog(UINT templateId, CWnd* parent = nullptr)
      : m_templateId(templateId), m_parent(parent) {}

  // Runs the dialog until EndDialog; its result, or -1 when it could not be made.
  INT_PTR DoModal();
  void EndDialog(INT_PTR result) const { ::EndDialog(m_hWnd, result); }
  // Gives `control` the keyboard focus the way the Tab key would.
  void GotoDlgCtrl(HWND control) const {
    SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  }

  // Binds the members to their controls; the base does nothing.
  virtual void DoDataExchange() {}
  // Binds the controls (DoDataExchange); TRUE lets the dialog manager set the focus.
  virtual BOOL OnInitDialog();
  // The OK (id 1) and Cancel (id 2) commands: end the dialog with that result.
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // WM_CTLCOLOR* with kind = CTLCOLOR_MSGBOX..CTLCOLOR_STATIC; the base gives
  // the platform's default brush.
  virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind);

  static const MessageEntry kMessages[];
  static const MessageMap kMessageMap;
  const MessageMap* GetMessageMap() const override { return &kMessageMap; }

  // The dialog's default processing is the dialog manager's, reached by
  // returning FALSE; from inside a handler, the plain window default.
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
  }

 protected:
  // Attaches `control` to item `id` (its messages then pass its own table).
  void DDX_Control(int id, CWnd& control) { control.SubclassDlgItem(static_cast<UINT>(id), this); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_templateId;
  CWnd* m_parent;
};
