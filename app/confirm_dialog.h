// The program's own message box: an icon, a message and one of three button
// forms on the skin's light blue, growing with the message's length.
#pragma once
#include <string>

#include "controls/ex_button.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/gdi.h"

class CConfirmDlg : public CDialog {
 public:
  explicit CConfirmDlg(CWnd* pParent = nullptr);

  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  // Button 1, and the Enter key when no button has the focus: 1.
  void OnOK() override { EndDialog(IDOK); }
  // Cancel, Escape and the close box: No in the Yes-and-No form, else Cancel.
  void OnCancel() override { EndDialog(m_yesNo ? IDNO : IDCANCEL); }
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT kind) override;

  DECLARE_MESSAGE_MAP()

  CStatic m_iconPicture;
  NCExButton m_yesButton;
  NCExButton m_okButton;
  NCExButton m_noButton;
  NCExButton m_okOnlyButton;
  NCExButton m_cancelButton;
  CStatic m_messageText;

  int m_iconBitmap;
  bool m_okOnly = false;
  bool m_okCancel = false;
  bool m_yesNo = false;
  std::string m_message;
  std::string m_title = "Ostrevane Ver 1.0";

 protected:
  void OnYes() { EndDialog(IDYES); }
  void OnNo() { EndDialog(IDNO); }
  void OnOkOnly() { EndDialog(IDOK); }
  LRESULT OnPaint(WPARAM, LPARAM);
  void GrowWithMessage();
  void MakeRoomForMessage();

  CBrush m_brush;  // the background, made once per dialog
};
