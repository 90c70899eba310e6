#include "app/confirm_box.h"

#include "app/confirm_dialog.h"
#include "res/resource.h"

namespace {

int g_openQuestions = 0;

int iconFor(unsigned style) {
  if ((style & MB_ICONWARNING) == MB_ICONWARNING) return IDB_ICON_WARNING;
  if (style & MB_ICONINFORMATION) return IDB_ICON_INFORMATION;
  if (style & MB_ICONQUESTION) return IDB_ICON_QUESTION;
  if (style & MB_ICONERROR) return IDB_ICON_ERROR;
  return IDB_ICON_WARNING;
}

}  // namespace

int ShowConfirmBox(const char* message, const char* caption, unsigned style) {
  CConfirmDlg dialog;
  dialog.m_message = message ? message : "";
  dialog.m_title = caption ? caption : "";
  if (style & MB_OKCANCEL) dialog.m_okCancel = true;
  else if (style & MB_YESNO) dialog.m_yesNo = true;
  else dialog.m_okOnly = true;
  dialog.m_iconBitmap = iconFor(style);
  ++g_openQuestions;
  INT_PTR result = dialog.DoModal();
  --g_openQuestions;
  // A question that cannot be shown is answered as if it had been closed.
  if (result <= 0) return dialog.m_yesNo ? IDNO : IDCANCEL;
  return static_cast<int>(result);
}

bool QuestionOpen() { return g_openQuestions > 0; }
