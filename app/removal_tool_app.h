// The application: one copy at a time, the main dialog run modally, then the end.
#pragma once
#include "framework/win_app.h"

class CRemovalToolApp : public CWinApp {
 public:
  // Runs the main dialog unless a window captioned with the program's title
  // exists already; always FALSE, so the process ends when it returns.
  BOOL InitInstance() override;
};
