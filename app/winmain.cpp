// drenvalisk.exe: the GUI entry and the one application object.
#include "app/removal_tool_app.h"

CRemovalToolApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return AfxWinMain(instance); }
