// CWinApp: the one application object and the program's entry into it.
#pragma once
#include "framework/wnd.h"

class CWinApp {
 public:
  // The newest application object becomes the process's one (AfxGetApp).
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The program's work; FALSE ends the process when it returns.
  virtual BOOL InitInstance() { return FALSE; }

  // Dialogs opened without a parent are owned by this window.
  CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// The module whose resources the dialogs and bitmaps are loaded from.
HINSTANCE AfxGetInstanceHandle();
// The GUI entry's work: runs the application object's InitInstance; the
// process then ends with exit code 0.
int AfxWinMain(HINSTANCE instance);
