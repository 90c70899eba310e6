#include <unistd.h>

#include <csignal>

#include "platform/console.h"
#include "platform/host/sim_machine.h"

namespace {
void onInterrupt(int) { simPostQuitFromSignal(); }
}  // namespace

void installInterruptHandler() {
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // Restart interrupted calls: a write of the report to a full pipe that the
  // signal broke off would otherwise drop the buffered lines.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}
bool standardInputIsTerminal() { return isatty(0) != 0; }
bool standardErrorIsTerminal() { return isatty(2) != 0; }
bool standardOutputIsTerminal() { return isatty(1) != 0; }
