#include "tests/win32/gui/gui_remote.h"

#include "engine/texts.h"
#include "res/resource.h"

std::string narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

std::wstring textOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

bool shown(HWND window) { return window && IsWindowVisible(window); }

namespace {

struct Search {
  HWND main = nullptr;
  int mainWindows = 0;
};

BOOL CALLBACK visitTopLevel(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  // The questions may bear the same caption; only the main window has the list.
  if (!IsWindowVisible(window) || narrow(textOf(window)) != kProductTitle ||
      !GetDlgItem(window, IDC_REPORT_LIST))
    return TRUE;
  ++search->mainWindows;
  if (!search->main) search->main = window;
  return TRUE;
}

Search searchWindows() {
  Search search;
  EnumWindows(visitTopLevel, reinterpret_cast<LPARAM>(&search));
  return search;
}

}  // namespace

HWND mainWindow() { return searchWindows().main; }

int mainWindowCount() { return searchWindows().mainWindows; }

namespace {

BOOL CALLBACK visitThreadWindow(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<HWND*>(context);
  if (IsWindowVisible(window) && GetDlgItem(window, IDC_MESSAGE_TEXT) &&
      !GetDlgItem(window, IDC_REPORT_LIST)) {
    *found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND questionWindow(HWND main) {
  if (!main) return nullptr;
  HWND found = nullptr;
  EnumThreadWindows(GetWindowThreadProcessId(main, nullptr), visitThreadWindow,
                    reinterpret_cast<LPARAM>(&found));
  return found;
}

namespace {

bool isFinalStatus(const std::wstring& status) {
  return narrow(status) == kStatusCompleted || narrow(status) == kStatusTerminated;
}

}  // namespace

bool showsEnd(HWND main) {
  return isFinalStatus(textOf(GetDlgItem(main, IDC_STATUS_LABEL))) &&
         shown(GetDlgItem(main, IDC_OK_BUTTON)) && !shown(GetDlgItem(main, IDCANCEL));
}

bool clickable(HWND button) { return shown(button) && IsWindowEnabled(button); }

namespace {

struct NamedControl {
  const char* name;
  int id;
};
#define NAMED(id) {#id, id}
// The controls a script may click, read or answer with.
const NamedControl kControls[] = {
    NAMED(IDOK), NAMED(IDCANCEL), NAMED(IDC_OK_BUTTON), NAMED(IDC_SCAN_BUTTON),
    NAMED(IDC_DOWNLOAD_BUTTON), NAMED(IDC_CLOSE_BUTTON), NAMED(IDC_STATUS_LABEL),
    NAMED(IDC_SEARCHING_TEXT), NAMED(IDC_REPORT_LIST), NAMED(IDC_PRODUCT_LINK),
    NAMED(IDC_TOOLS_LINK), NAMED(IDC_OK_ONLY_BUTTON), NAMED(IDC_YES_BUTTON), NAMED(IDC_NO_BUTTON),
};
#undef NAMED

}  // namespace

int controlNamed(const std::string& name) {
  for (const NamedControl& control : kControls)
    if (name == control.name) return control.id;
  return -1;
}
