// An in-process harness for the GUI: the dialogs run modally on a UI thread of
// their own while a test drives them from its thread, the way a person would,
// by posted clicks and keys, and looks at what is on the screen.
//
// Use (also for end-to-end runs, demos and responsiveness measurements):
//   UiThread ui(runMainDialog);             // CMainDlg::DoModal on the UI thread
//   HWND main = waitForMainDialog(ui);      // up, shown and idle
//   ui.run(ScanWatch::install);             // watch the report channel
//   ScanWatch::holdAt("\\guitest\\");       // the scan will pause there
//   ui.click(item(main, IDC_SCAN_BUTTON));  // a posted BM_CLICK, then sync()
//   ScanWatch::waitHeld(); ... ScanWatch::release(ui);
//   ScanWatch::waitFinished(); ui.sync();   // the dialog shows the end
//   captureScreen(ui, windowRect(main)).save("done");  // C:\guishots\done.bmp
//   ui.click(item(main, IDC_OK_BUTTON)); ui.waitForEnd();  // DoModal's result
// Questions: waitForConfirmDialog(ui), then click its Yes/No/OK/Cancel item.
// A scan walks every fixed drive of the prefix (C:, about 900 files, under a
// second); files to find are planted with plantInfected/plantClean.
// Every call that waits gives up after a bound and fails the test instead of
// hanging. Questions are answered by the test (never Yes to a restart).
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A thread with a message queue that runs `body` (a modal dialog, usually)
// and, between messages, whatever the test hands it with run().
class UiThread {
 public:
  explicit UiThread(std::function<INT_PTR()> body);
  ~UiThread();  // ends a still-open dialog (Cancel, then the thread) if a test failed
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;

  DWORD threadId() const { return m_threadId; }
  // Runs `work` on the UI thread, after every message posted before it, and
  // waits for it. False when the thread did not get to it within the bound.
  bool run(const std::function<void()>& work);
  bool sync() { return run([] {}); }
  // A user's click on a visible, enabled button: posted, then synced (a click
  // that opens a modal dialog returns once that dialog is up).
  void click(HWND button);
  // A key press in the window that has the keyboard focus (or `window`).
  void pressKey(UINT virtualKey, HWND window = nullptr);
  // A key pressed and released in the window that has the focus; posted and
  // not synced, so that whatever takes the thread's messages next (a modal
  // loop, or a scan's pump) gets them.
  void postKeyStroke(UINT virtualKey);
  // Shift down or up for the keys that follow (the dialog manager reads it
  // from the thread's key state, which posted keys do not change).
  void setShift(bool down);
  // The window menu's Close (a caption's close box).
  void closeBox(HWND window);
  // The body's result once it has returned; -999 when it does not end in time.
  INT_PTR waitForEnd(DWORD milliseconds = 20000);
  bool ended() const;

 private:
  static DWORD WINAPI threadMain(void* self);
  std::function<INT_PTR()> m_body;
  HANDLE m_thread = nullptr;
  DWORD m_threadId = 0;
  HANDLE m_ready = nullptr;
  HWND m_window = nullptr;  // receives run() requests
  INT_PTR m_result = -999;
};

// Pixels of the screen, as a person sees them (32-bit, 0x00RRGGBB).
struct Capture {
  RECT area = {0, 0, 0, 0};
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  // A pixel by screen coordinates.
  COLORREF at(int screenX, int screenY) const;
  // Saves a BMP under C:\guishots (the test script turns it into a PNG).
  void save(const std::string& name) const;
};
// Flushes every window of the UI thread to the screen, then reads `area`.
Capture captureScreen(UiThread& ui, const RECT& area);
// Reads `area` of the screen as it is (no window of ours on it).
Capture captureScreenNow(const RECT& area);

// A bitmap resource of the program, as 0x00RRGGBB pixels.
Capture loadBitmapResource(const char* name);
// How many pixels of `bitmap` differ from the screen at `window`'s top-left,
// over the part of the bitmap the window covers.
int differingPixels(const Capture& screen, HWND window, const Capture& bitmap);

// The scan's report channel as the harness sees it, wrapped around the
// dialog's own: lines and statuses are recorded; a hold pauses the scan
// (inside the channel call, with the window alive) at a status text.
namespace ScanWatch {
void install();  // after the main dialog bound the channel
void holdAt(const std::string& statusPart);
bool waitHeld(DWORD milliseconds = 60000);
void release(UiThread& ui);
// Releases the hold and posts `key` before the scan goes on, so that the
// walker's pump takes it.
void releaseWithKey(UiThread& ui, HWND window, UINT virtualKey);
// The same with a whole stroke (down and up) in the window that has the
// focus, Shift held down for it if asked (UiThread::setShift(false) after).
void releaseWithKeyStroke(UiThread& ui, UINT virtualKey, bool shift = false);
// The final status ("Scanning completed" / "Scanning terminated") was shown.
bool waitFinished(DWORD milliseconds = 120000);
std::vector<std::string> lines();
std::vector<std::string> statuses();
// Whether a question of the program was open when the scan sent a line or a
// status (the scan ran under the question).
bool ranUnderAQuestion();
}  // namespace ScanWatch

// Bodies for UiThread.
INT_PTR runMainDialog();
// The main dialog's window (null before its initialisation and after its end).
HWND mainDialogWindow();
// Waits until the main dialog is on the screen (a modal dialog shows itself
// once its queue is first empty); null when it does not come within the bound.
HWND waitForMainDialog(UiThread& ui, DWORD milliseconds = 10000);
// Syncs with the UI thread until `condition` holds (input from the system
// comes after posted messages); false when it does not within the bound.
bool waitUntil(UiThread& ui, const std::function<bool()>& condition, DWORD milliseconds = 10000);
// The confirmation dialog open on the UI thread (shown or about to be), or null.
HWND findConfirmDialog(const UiThread& ui);
// Waits until a confirmation dialog is on the screen (its modal loop shows it
// once its queue is empty); null when none comes within the bound.
HWND waitForConfirmDialog(UiThread& ui, DWORD milliseconds = 10000);

// Visible confirmation dialogs open on the UI thread.
int openQuestionCount(const UiThread& ui);
// The window that has the UI thread's keyboard focus.
HWND focusOf(const UiThread& ui);

HWND item(HWND dialog, int id);
RECT windowRect(HWND window);
std::string windowText(HWND window);
// The lines of a list box, in order.
std::vector<std::string> listLines(HWND list);

// The web pages the dialog asked to open (the shell is never called).
std::vector<std::string>& openedPages();

// Files planted for scans, under C:\guitest (nothing else is ever written).
std::string plantInfected(const std::string& name);  // returns the detection name
void plantClean(const std::string& name);
bool plantedExists(const std::string& name);
void removePlanted();
