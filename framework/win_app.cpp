#include "framework/win_app.h"

namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_instance = nullptr;
}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() {
  if (!g_instance) g_instance = ::GetModuleHandleA(nullptr);
  return g_instance;
}

int AfxWinMain(HINSTANCE instance) {
  g_instance = instance;
  if (g_app) g_app->InitInstance();
  return 0;
}
