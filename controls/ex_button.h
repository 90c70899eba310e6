// Push buttons drawn from bitmaps named after their caption: C_FOCUS while the
// mouse is over the button or it has the focus, C_DISABLE when it is disabled,
// C_NOTFOCUS otherwise. The highlighted button is the default one: Enter, like
// Space, presses the button that has the focus. NCExButton keeps the standard
// pointer; CExButton can show a hand.
#pragma once
#include "framework/controls.h"
#include "framework/gdi.h"

class NCExButton : public CButton {
 public:
  // Attaches to item `nID` of `pParent` unless attached already, then loads
  // the caption's bitmaps and takes the plain one's size. FALSE without an
  // item or a caption.
  BOOL SetupFromDialogItem(UINT nID, CWnd* pParent);
  // Replaces the three images; FALSE when the focus or plain image is missing
  // (the disabled one is optional) or the button could not be sized.
  BOOL LoadStateBitmaps(const char* lpszFocus, const char* lpszNotFocus, const char* lpszDisable);
  // Gives the button the plain image's size, keeping its position.
  BOOL SizeToBitmap();

  void DrawItem(DRAWITEMSTRUCT* item) override;

  DECLARE_MESSAGE_MAP()

 protected:
  LRESULT OnMouseMove(WPARAM keys, LPARAM point);
  LRESULT OnKillFocus(WPARAM, LPARAM);
  LRESULT OnSetFocus(WPARAM, LPARAM);
  LRESULT OnGetDlgCode(WPARAM, LPARAM message);
  LRESULT OnKeyDown(WPARAM key, LPARAM flags);
  void Repaint() const { ::InvalidateRect(m_hWnd, nullptr, FALSE); }

  BOOL m_bHighlight = FALSE;
  RECT m_rcHit = {0, 0, 0, 0};
  CBitmap m_bmpDisable;
  CBitmap m_bmpNotFocus;
  CBitmap m_bmpFocus;
};

class CExButton : public NCExButton {
 public:
  // Takes a private copy of a hand-shaped pointer for this button, once.
  void LoadHandCursor();

  DECLARE_MESSAGE_MAP()

 protected:
  LRESULT OnSetCursor(WPARAM, LPARAM);

  CopiedCursor m_hHandCursor;  // this button's own copy
};
