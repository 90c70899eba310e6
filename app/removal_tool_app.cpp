#include "app/removal_tool_app.h"

#include "app/main_dialog.h"
#include "engine/report_channel.h"

BOOL CRemovalToolApp::InitInstance() {
  // A running copy has given its main window this caption: leave silently.
  if (::FindWindowA(nullptr, kProductTitle)) return FALSE;
  CMainDlg dialog;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
