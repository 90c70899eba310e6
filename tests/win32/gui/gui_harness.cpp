#include "tests/win32/gui/gui_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/main_dialog.h"
#include "app/scan_binding.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "framework/win_app.h"
#include "samples/pe_builder.h"
#include "tests/win32/gui/pixels.h"

namespace {

constexpr UINT kRunMessage = WM_APP + 17;  // wParam 0: never mistaken for Escape
constexpr const char* kPlantRoot = "C:\\guitest";
constexpr const char* kShotRoot = "C:\\guishots";

// Refuses to run unless the machine looks like the throw-away prefix the test
// script makes: a Z: drive would be the host's root, reachable by a scan.
class SafePrefixCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(GetDriveTypeA("Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
        << "drive Z: exists: run the GUI tests only in the prefix scripts/gui-tests.sh makes";
    CreateDirectoryA(kPlantRoot, nullptr);
    CreateDirectoryA(kShotRoot, nullptr);
  }
};
const auto* const g_safePrefixCheck = ::testing::AddGlobalTestEnvironment(new SafePrefixCheck);

struct RunRequest {
  const std::function<void()>* work;
  HANDLE done;
};

LRESULT CALLBACK harnessWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunMessage) {
    auto* request = reinterpret_cast<RunRequest*>(lParam);
    (*request->work)();
    SetEvent(request->done);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND createHarnessWindow() {
  static ATOM atom = [] {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = harnessWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "DrenvaliskGuiHarness";
    return RegisterClassA(&windowClass);
  }();
  return CreateWindowA(MAKEINTATOM(atom), "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                       GetModuleHandleA(nullptr), nullptr);
}

struct ThreadWindows {
  std::vector<HWND> windows;
};
BOOL CALLBACK collectWindow(HWND window, LPARAM context) {
  reinterpret_cast<ThreadWindows*>(context)->windows.push_back(window);
  return TRUE;
}
std::vector<HWND> threadWindows(DWORD threadId) {
  ThreadWindows found;
  EnumThreadWindows(threadId, collectWindow, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

bool isDialog(HWND window) {
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  return std::strcmp(name, "#32770") == 0;
}

}  // namespace

UiThread::UiThread(std::function<INT_PTR()> body) : m_body(std::move(body)) {
  m_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_thread = CreateThread(nullptr, 0, &UiThread::threadMain, this, 0, &m_threadId);
  WaitForSingleObject(m_ready, 10000);
}

DWORD WINAPI UiThread::threadMain(void* context) {
  auto* self = static_cast<UiThread*>(context);
  self->m_window = createHarnessWindow();
  SetEvent(self->m_ready);
  self->m_result = self->m_body();
  DestroyWindow(self->m_window);
  return 0;
}

UiThread::~UiThread() {
  // A test that failed half-way leaves its dialogs open: close them, stopping
  // a running scan (never answering Yes to anything else), then the thread.
  for (int round = 0; round < 100 && !ended(); ++round) {
    for (HWND window : threadWindows(m_threadId)) {
      if (!isDialog(window) || !IsWindowVisible(window)) continue;
      HWND text = GetDlgItem(window, 1086);
      bool stopQuestion = text && windowText(text).find("Terminate the Scan") != std::string::npos;
      PostMessageA(window, WM_COMMAND, stopQuestion ? IDYES : IDCANCEL, 0);
    }
    WaitForSingleObject(m_thread, 100);
  }
  if (!ended()) TerminateThread(m_thread, 1);
  CloseHandle(m_thread);
  CloseHandle(m_ready);
}

bool UiThread::ended() const { return WaitForSingleObject(m_thread, 0) == WAIT_OBJECT_0; }

bool UiThread::run(const std::function<void()>& work) {
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  RunRequest request = {&work, done};
  bool finished = false;
  if (!ended() && PostMessageA(m_window, kRunMessage, 0, reinterpret_cast<LPARAM>(&request))) {
    HANDLE waits[2] = {done, m_thread};
    DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 120000);
    finished = woke == WAIT_OBJECT_0;
    // The request lives on this frame: it must not be run after we leave.
    if (!finished && woke == WAIT_TIMEOUT) ADD_FAILURE() << "the UI thread did not answer in 120 s";
  }
  CloseHandle(done);
  return finished;
}

void UiThread::click(HWND button) {
  ASSERT_TRUE(button && IsWindowVisible(button) && IsWindowEnabled(button))
      << "a person cannot click button " << GetDlgCtrlID(button) << " (hidden or disabled)";
  PostMessageA(button, BM_CLICK, 0, 0);
  sync();
}

void UiThread::pressKey(UINT virtualKey, HWND window) {
  if (!window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(m_threadId, &info)) window = info.hwndFocus ? info.hwndFocus : info.hwndActive;
  }
  ASSERT_TRUE(window) << "no window has the keyboard focus";
  PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
  sync();
}

namespace {

// The dialog manager reads Shift from the thread's key state, which posted
// key messages do not change.
void setShiftState(bool down) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_SHIFT] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

void postStroke(HWND window, UINT virtualKey) {
  PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
  PostMessageA(window, WM_KEYUP, virtualKey, LPARAM(0xC0000001));
}

}  // namespace

void UiThread::setShift(bool down) {
  run([down] { setShiftState(down); });
}

void UiThread::postKeyStroke(UINT virtualKey) {
  HWND window = focusOf(*this);
  ASSERT_TRUE(window) << "no window has the keyboard focus";
  postStroke(window, virtualKey);
}

void UiThread::closeBox(HWND window) {
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  sync();
}

INT_PTR UiThread::waitForEnd(DWORD milliseconds) {
  if (WaitForSingleObject(m_thread, milliseconds) != WAIT_OBJECT_0) return -999;
  return m_result;
}

// ---- the screen ----

COLORREF Capture::at(int screenX, int screenY) const {
  int x = screenX - area.left, y = screenY - area.top;
  if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
  uint32_t pixel = pixels[size_t(y) * width + x];
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

void Capture::save(const std::string& name) const {
  std::string path = std::string(kShotRoot) + "\\" + name + ".bmp";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  int rowBytes = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER fileHeader = {};
  BITMAPINFOHEADER info = {};
  fileHeader.bfType = 0x4D42;
  fileHeader.bfOffBits = sizeof fileHeader + sizeof info;
  fileHeader.bfSize = fileHeader.bfOffBits + DWORD(rowBytes) * height;
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up rows
  info.biPlanes = 1;
  info.biBitCount = 24;
  std::fwrite(&fileHeader, sizeof fileHeader, 1, file);
  std::fwrite(&info, sizeof info, 1, file);
  std::vector<uint8_t> row(size_t(rowBytes), 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      uint32_t pixel = pixels[size_t(y) * width + x];
      row[size_t(x) * 3] = pixel & 0xFF;
      row[size_t(x) * 3 + 1] = (pixel >> 8) & 0xFF;
      row[size_t(x) * 3 + 2] = (pixel >> 16) & 0xFF;
    }
    std::fwrite(row.data(), 1, row.size(), file);
  }
  std::fclose(file);
}

namespace {

// Reads an area of the screen or of a bitmap's context into `out`.
void readPixels(HDC source, int left, int top, int width, int height, Capture* out) {
  out->width = width;
  out->height = height;
  out->pixels = readPixels(source, left, top, width, height);
}

}  // namespace

Capture captureScreen(UiThread& ui, const RECT& area) {
  Capture shot;
  shot.area = area;
  ui.run([&] {
    for (HWND window : threadWindows(ui.threadId()))
      RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    // Waiting for messages, even for no time, puts the windows' drawing on
    // the screen.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
    HDC screen = GetDC(nullptr);
    readPixels(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, &shot);
    ReleaseDC(nullptr, screen);
  });
  return shot;
}

Capture captureScreenNow(const RECT& area) {
  Capture shot;
  shot.area = area;
  HDC screen = GetDC(nullptr);
  readPixels(screen, area.left, area.top, area.right - area.left, area.bottom - area.top, &shot);
  ReleaseDC(nullptr, screen);
  return shot;
}

Capture loadBitmapResource(const char* name) {
  BitmapPixels picture = loadBitmapPixels(name);
  Capture image;
  image.width = picture.width;
  image.height = picture.height;
  image.pixels = std::move(picture.pixels);
  image.area = {0, 0, picture.width, picture.height};
  return image;
}

int differingPixels(const Capture& screen, HWND window, const Capture& bitmap) {
  if (bitmap.pixels.empty()) return -1;
  RECT rect = windowRect(window);
  int width = std::min<int>(bitmap.width, rect.right - rect.left);
  int height = std::min<int>(bitmap.height, rect.bottom - rect.top);
  int differing = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (screen.at(rect.left + x, rect.top + y) != bitmap.at(x, y)) ++differing;
  return differing;
}

// ---- the scan as the report channel sees it ----

namespace ScanWatch {
namespace {
CRITICAL_SECTION g_lock;
const bool g_lockReady = [] {
  InitializeCriticalSection(&g_lock);
  return true;
}();
ReportSink g_inner = {nullptr, nullptr};
std::vector<std::string> g_lines;
std::vector<std::string> g_statuses;
bool g_underQuestion = false;
std::string g_holdPart;
bool g_released = false;
HANDLE g_held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
HANDLE g_finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);

// Any visible dialog of this thread but the main window is a question.
bool questionOpenHere() {
  for (HWND window : threadWindows(GetCurrentThreadId()))
    if (isDialog(window) && window != mainDialogWindow() && IsWindowVisible(window)) return true;
  return false;
}

void watchLine(const char* line) {
  g_inner.appendLine(line);
  bool underQuestion = questionOpenHere();
  EnterCriticalSection(&g_lock);
  g_lines.push_back(line);
  g_underQuestion = g_underQuestion || underQuestion;
  LeaveCriticalSection(&g_lock);
}

// The scan waits here, inside the status call, while the window lives on.
void holdHere() {
  g_released = false;
  SetEvent(g_held);
  HWND main = mainDialogWindow();
  MSG message;
  while (!g_released && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (main && IsDialogMessageA(main, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void watchStatus(const char* status) {
  g_inner.showStatus(status);
  bool underQuestion = questionOpenHere();
  EnterCriticalSection(&g_lock);
  g_statuses.push_back(status);
  g_underQuestion = g_underQuestion || underQuestion;
  LeaveCriticalSection(&g_lock);
  if (!std::strcmp(status, "Scanning completed") || !std::strcmp(status, "Scanning terminated"))
    SetEvent(g_finished);
  if (!g_holdPart.empty() && std::strstr(status, g_holdPart.c_str())) {
    g_holdPart.clear();
    holdHere();
  }
}
}  // namespace

void install() {
  (void)g_lockReady;
  g_inner = dialogReportSink();
  g_lines.clear();
  g_statuses.clear();
  g_underQuestion = false;
  g_holdPart.clear();
  ResetEvent(g_held);
  ResetEvent(g_finished);
  bindReportChannel(ReportSink{watchLine, watchStatus});
}

void holdAt(const std::string& statusPart) {
  ResetEvent(g_held);
  g_holdPart = statusPart;
}

bool waitHeld(DWORD milliseconds) { return WaitForSingleObject(g_held, milliseconds) == WAIT_OBJECT_0; }

void release(UiThread& ui) {
  ui.run([] { g_released = true; });
}

void releaseWithKey(UiThread& ui, HWND window, UINT virtualKey) {
  ui.run([=] {
    g_released = true;
    PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
  });
}

void releaseWithKeyStroke(UiThread& ui, UINT virtualKey, bool shift) {
  ui.run([=] {
    g_released = true;
    if (shift) setShiftState(true);
    if (HWND focus = GetFocus()) postStroke(focus, virtualKey);
  });
}

bool waitFinished(DWORD milliseconds) {
  return WaitForSingleObject(g_finished, milliseconds) == WAIT_OBJECT_0;
}

std::vector<std::string> lines() {
  EnterCriticalSection(&g_lock);
  std::vector<std::string> copy = g_lines;
  LeaveCriticalSection(&g_lock);
  return copy;
}

std::vector<std::string> statuses() {
  EnterCriticalSection(&g_lock);
  std::vector<std::string> copy = g_statuses;
  LeaveCriticalSection(&g_lock);
  return copy;
}

bool ranUnderAQuestion() {
  EnterCriticalSection(&g_lock);
  bool under = g_underQuestion;
  LeaveCriticalSection(&g_lock);
  return under;
}
}  // namespace ScanWatch

// ---- dialogs and controls ----

INT_PTR runMainDialog() {
  CWinApp app;
  CMainDlg dialog;
  app.m_pMainWnd = &dialog;
  INT_PTR result = dialog.DoModal();
  app.m_pMainWnd = nullptr;
  return result;
}

HWND mainDialogWindow() { return g_mainDialog ? g_mainDialog->m_hWnd : nullptr; }

HWND findConfirmDialog(const UiThread& ui) {
  for (HWND window : threadWindows(ui.threadId()))
    if (isDialog(window) && window != mainDialogWindow()) return window;
  return nullptr;
}

bool waitUntil(UiThread& ui, const std::function<bool()>& condition, DWORD milliseconds) {
  DWORD start = GetTickCount();
  do {
    ui.sync();
    if (condition()) return true;
    Sleep(5);
  } while (GetTickCount() - start < milliseconds && !ui.ended());
  return false;
}

HWND waitForConfirmDialog(UiThread& ui, DWORD milliseconds) {
  HWND question = nullptr;
  waitUntil(ui, [&] {
    question = findConfirmDialog(ui);
    return question && IsWindowVisible(question);
  }, milliseconds);
  return question && IsWindowVisible(question) ? question : nullptr;
}

HWND waitForMainDialog(UiThread& ui, DWORD milliseconds) {
  waitUntil(ui, [] { return mainDialogWindow() && IsWindowVisible(mainDialogWindow()); },
            milliseconds);
  HWND main = mainDialogWindow();
  return main && IsWindowVisible(main) ? main : nullptr;
}

int openQuestionCount(const UiThread& ui) {
  int count = 0;
  for (HWND window : threadWindows(ui.threadId()))
    if (isDialog(window) && window != mainDialogWindow() && IsWindowVisible(window)) ++count;
  return count;
}

HWND focusOf(const UiThread& ui) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(ui.threadId(), &info);
  return info.hwndFocus;
}

HWND item(HWND dialog, int id) { return GetDlgItem(dialog, id); }

RECT windowRect(HWND window) {
  RECT rect = {0, 0, 0, 0};
  GetWindowRect(window, &rect);
  return rect;
}

std::string windowText(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::vector<std::string> listLines(HWND list) {
  std::vector<std::string> lines;
  int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string line(static_cast<size_t>(SendMessageA(list, LB_GETTEXTLEN, i, 0)) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&line[0]));
    line.resize(std::strlen(line.c_str()));
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string>& openedPages() {
  static std::vector<std::string> pages;
  return pages;
}

namespace {
void recordPage(const char* address) { openedPages().push_back(address); }
const bool g_pagesHooked = [] {
  setOpenPageHook(recordPage);
  return true;
}();
}  // namespace

std::string plantInfected(const std::string& name) {
  (void)g_pagesHooked;
  const SignatureRecord& record = signatureTable()[0];
  writeHostFile(std::string(kPlantRoot) + "\\" + name, buildInfectedSample(record));
  return record.name;
}

void plantClean(const std::string& name) {
  writeHostFile(std::string(kPlantRoot) + "\\" + name, buildCleanSample(38400, 7));
}

bool plantedExists(const std::string& name) {
  return GetFileAttributesA((std::string(kPlantRoot) + "\\" + name).c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

void removePlanted() {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((std::string(kPlantRoot) + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string path = std::string(kPlantRoot) + "\\" + found.cFileName;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
