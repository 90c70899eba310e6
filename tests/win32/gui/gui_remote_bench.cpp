#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win32/gui/gui_remote.h"

namespace {

constexpr DWORD kPingPeriod = 20;

double nowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// A slow answer: when it was sent (ms after SCAN), how long it took, and what
// the status label showed once it came.
struct SlowAnswer {
  double sentAt, ms;
  std::string status;
};

struct Pinger {
  HWND window = nullptr;
  double start = 0;
  volatile LONG stop = 0;
  std::vector<double> answers;  // milliseconds per WM_NULL
  std::vector<SlowAnswer> slow;  // answers over 50 ms
  int unanswered = 0;
};

// Sends WM_NULL every 20 ms (at once after a slow answer) until told to stop.
DWORD WINAPI pingLoop(void* context) {
  auto* pinger = static_cast<Pinger*>(context);
  HWND label = GetDlgItem(pinger->window, IDC_STATUS_LABEL);
  while (!pinger->stop) {
    double sent = nowMs();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(pinger->window, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeout, &result)) {
      double ms = nowMs() - sent;
      pinger->answers.push_back(ms);
      if (ms > 50) pinger->slow.push_back({sent - pinger->start, ms, narrow(textOf(label))});
    } else {
      ++pinger->unanswered;
    }
    double spent = nowMs() - sent;
    if (spent < kPingPeriod) Sleep(DWORD(kPingPeriod - spent));
  }
  return 0;
}

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = size_t(fraction * double(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

}  // namespace

int benchScan(DWORD milliseconds) {
  HWND main = mainWindow();
  if (!main || !clickable(GetDlgItem(main, IDC_SCAN_BUTTON))) {
    std::fprintf(stderr, "gui-remote: no main window ready to scan\n");
    return 1;
  }
  Pinger pinger;
  pinger.window = main;
  double pressed = nowMs();
  pinger.start = pressed;
  HANDLE thread = CreateThread(nullptr, 0, pingLoop, &pinger, 0, nullptr);
  PostMessageA(GetDlgItem(main, IDC_SCAN_BUTTON), BM_CLICK, 0, 0);
  bool questioned = false;
  bool ended = waitFor(milliseconds, [&] {
    questioned = questionWindow(main) != nullptr;
    return questioned || showsEnd(main);
  });
  double wall = nowMs() - pressed;
  InterlockedExchange(&pinger.stop, 1);
  WaitForSingleObject(thread, kSendTimeout + 1000);
  CloseHandle(thread);
  if (!ended || questioned) {
    std::fprintf(stderr, "gui-remote: the scan %s\n", questioned ? "asked a question" : "did not end");
    return 1;
  }
  const std::vector<double>& answers = pinger.answers;
  int slow = int(std::count_if(answers.begin(), answers.end(), [](double ms) { return ms > 100; }));
  std::printf("status %s\n", narrow(textOf(GetDlgItem(main, IDC_STATUS_LABEL))).c_str());
  std::printf("scan_ms %.0f\n", wall);
  std::printf("pings %zu unanswered %d over_100ms %d\n", answers.size(), pinger.unanswered, slow);
  std::printf("answer_ms max %.1f p99 %.1f median %.2f\n",
              answers.empty() ? 0.0 : *std::max_element(answers.begin(), answers.end()),
              percentile(answers, 0.99), percentile(answers, 0.5));
  std::vector<SlowAnswer> slowest = pinger.slow;
  std::sort(slowest.begin(), slowest.end(),
            [](const SlowAnswer& a, const SlowAnswer& b) { return a.ms > b.ms; });
  if (slowest.size() > 3) slowest.resize(3);
  for (const SlowAnswer& answer : slowest)
    std::printf("slow %.1f ms at %.0f ms, status then: %s\n", answer.ms, answer.sentAt,
                answer.status.c_str());
  return 0;
}
