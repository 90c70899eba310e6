// The message queue and message box of the simulated machine.
#include "platform/messages.h"
#include "tests/sim/sim_machine.h"

namespace {
MessageBoxHook g_messageBoxHook = nullptr;
}

void setMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = hook; }

bool peekMessage(Message* message) {
  SimMachine& sim = simMachine();
  if (sim.messageQueue.empty()) return false;
  *message = sim.messageQueue.front();
  sim.messageQueue.pop_front();
  return true;
}

void translateAndDispatch(const Message& message) { simMachine().dispatched.push_back(message); }

int messageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
  SimMachine& sim = simMachine();
  sim.messageBoxes.push_back(SimMessageBox{text ? text : "", caption ? caption : "", style});
  if (g_messageBoxHook) return g_messageBoxHook(owner, text, caption, style);
  return sim.messageBoxAnswer;
}
