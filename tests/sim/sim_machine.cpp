#include "tests/sim/sim_machine.h"
#include "tests/support/test_machine.h"

namespace {
SimMachine* g_machine = nullptr;

// Out of line, so the frequent call that finds the machine made stays small.
__attribute__((noinline)) SimMachine& makeSimMachine() {
  g_machine = new SimMachine();
  return *g_machine;
}
}  // namespace

SimMachine& simMachine() {
  if (__builtin_expect(g_machine == nullptr, 0)) return makeSimMachine();
  return *g_machine;
}

void resetSimMachine() {
  hostUnmapDrives();
  delete g_machine;
  g_machine = new SimMachine();
}

SimProcess& simRunProcess(uint32_t id, const std::string& imagePath) {
  SimProcess process;
  process.id = id;
  process.imagePath = imagePath;
  simMachine().processes.push_back(process);
  return simMachine().processes.back();
}

std::string simPathKey(const char* windowsPath) {
  std::string key(windowsPath ? windowsPath : "");
  for (char& c : key) c = asciiUpper(c);
  return key;
}

void resetTestMachine() { resetSimMachine(); }
