// The control wrappers the dialogs use: a window handle and inline forwards.
#pragma once
#include "framework/wnd.h"

class CButton : public CWnd {};

class CStatic : public CWnd {};

class CListBox : public CWnd {
 public:
  int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
  void ResetContent() const { SendMessage(LB_RESETCONTENT); }
  int AddString(const char* text) const {
    return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  }
  int SetCurSel(int index) const { return static_cast<int>(SendMessage(LB_SETCURSEL, index)); }
  int GetTextLen(int index) const { return static_cast<int>(SendMessage(LB_GETTEXTLEN, index)); }
  // Copies line `index` into `text`, which holds GetTextLen(index) + 1 bytes.
  int GetText(int index, char* text) const {
    return static_cast<int>(SendMessage(LB_GETTEXT, index, reinterpret_cast<LPARAM>(text)));
  }
  int GetHorizontalExtent() const { return static_cast<int>(SendMessage(LB_GETHORIZONTALEXTENT)); }
  void SetHorizontalExtent(int extent) const { SendMessage(LB_SETHORIZONTALEXTENT, extent); }
};
