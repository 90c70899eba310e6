// Stopping a service and removing its keys from both numbered control sets.
#include <algorithm>
#include <string>
#include <vector>

#include "memory/service_stop.h"
#include "repair/service_keys.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"

namespace {

SimService service(const std::string& name, uint32_t stopPendingMs = 0) {
  SimService s;
  s.name = name;
  s.stopPendingMs = stopPendingMs;
  return s;
}

}  // namespace

class ServiceStop : public ScanFixture {
 protected:
  void TearDown() override {
    EXPECT_EQ(simMachine().openServiceHandles, 0) << "every handle is closed on every path";
    ScanFixture::TearDown();
  }
};

TEST_F(ServiceStop, MissingServiceOrManagerGivesZeroAtOnce) {
  SimMachine& sim = simMachine();
  sim.services = {service("other")};
  EXPECT_EQ(stopService("trojan"), 0);
  sim.services = {service("trojan")};
  sim.serviceManagerFails = true;
  EXPECT_EQ(stopService("trojan"), 0);
  EXPECT_TRUE(sim.pauses.empty());
  EXPECT_FALSE(sim.services[0].stopping);
}

TEST_F(ServiceStop, ServiceThatStopsAtOnceNeedsNoPause) {
  simMachine().services = {service("Trojan")};
  EXPECT_EQ(stopService("trojan"), 1);
  EXPECT_TRUE(simMachine().services[0].stopping);
  EXPECT_TRUE(simMachine().pauses.empty());
}

TEST_F(ServiceStop, StopPendingForThreeSecondsIsWaitedFor) {
  simMachine().services = {service("trojan", 3000)};
  EXPECT_EQ(stopService("trojan"), 1);
  const auto& pauses = simMachine().pauses;
  EXPECT_TRUE(pauses.size() == 3 || pauses.size() == 4) << pauses.size();
  EXPECT_TRUE(std::all_of(pauses.begin(), pauses.end(), [](uint32_t ms) { return ms == 1000; }));
}

TEST_F(ServiceStop, RefusedStopOrAnotherFinalStateGivesZero) {
  SimMachine& sim = simMachine();
  sim.services = {service("trojan")};
  sim.services[0].acceptsStop = false;
  EXPECT_EQ(stopService("trojan"), 0);
  EXPECT_TRUE(sim.pauses.empty());

  sim.services = {service("trojan", 2000)};
  sim.services[0].finalState = 4;  // back to running
  EXPECT_EQ(stopService("trojan"), 0);
  EXPECT_FALSE(sim.pauses.empty());
}

TEST_F(ServiceStop, ServiceStuckInStopPendingDoesNotHoldTheScanForever) {
  simMachine().services = {service("trojan", 0xFFFFFFFFu)};
  EXPECT_EQ(stopService("trojan"), 0);
  EXPECT_EQ(simMachine().pauses.size(), static_cast<size_t>(kMaxStopWaits));
}

class ServiceKeys : public ScanFixture {
 protected:
  void addKey(const std::string& path) { simMachine().registry[path]; }
  bool hasKey(const std::string& path) const { return simMachine().registry.count(path) != 0; }
  static std::string set(int number, const std::string& rest) {
    return "SYSTEM\\CONTROLSET00" + std::to_string(number) + "\\SERVICES\\" + rest;
  }
};

TEST_F(ServiceKeys, RemovesEnumSecurityAndTheKeyInBothControlSets) {
  for (int number : {1, 2})
    for (const char* suffix : {"", "\\ENUM", "\\SECURITY"}) addKey(set(number, std::string("TROJAN") + suffix));
  addKey(set(1, "TROJANX"));
  addKey(set(2, "TROJANX\\ENUM"));
  EXPECT_EQ(removeServiceKeys("trojan"), 1);
  for (int number : {1, 2}) {
    EXPECT_FALSE(hasKey(set(number, "TROJAN")));
    EXPECT_FALSE(hasKey(set(number, "TROJAN\\ENUM")));
    EXPECT_FALSE(hasKey(set(number, "TROJAN\\SECURITY")));
  }
  EXPECT_TRUE(hasKey(set(1, "TROJANX"))) << "a service whose name merely begins alike stays";
  EXPECT_TRUE(hasKey(set(2, "TROJANX\\ENUM")));
}

TEST_F(ServiceKeys, ServiceOnlyInTheFirstControlSet) {
  for (const char* suffix : {"", "\\ENUM", "\\SECURITY"}) addKey(set(1, std::string("TROJAN") + suffix));
  EXPECT_EQ(removeServiceKeys("Trojan"), 1);
  EXPECT_TRUE(simMachine().registry.empty());
}

TEST_F(ServiceKeys, NameWithoutKeysGivesZero) {
  addKey(set(1, "OTHER"));
  EXPECT_EQ(removeServiceKeys("trojan"), 0);
  EXPECT_EQ(simMachine().registry.size(), 1u);
}

TEST_F(ServiceKeys, KeyWithAnotherSubkeyStaysButItsEnumAndSecurityGo) {
  for (const char* suffix : {"", "\\ENUM", "\\SECURITY", "\\PARAMETERS"})
    addKey(set(1, std::string("TROJAN") + suffix));
  EXPECT_EQ(removeServiceKeys("trojan"), 1);
  EXPECT_TRUE(hasKey(set(1, "TROJAN")));
  EXPECT_TRUE(hasKey(set(1, "TROJAN\\PARAMETERS")));
  EXPECT_FALSE(hasKey(set(1, "TROJAN\\ENUM")));
  EXPECT_FALSE(hasKey(set(1, "TROJAN\\SECURITY")));
}

TEST_F(ServiceKeys, EmptyNameRemovesNothing) {
  addKey("SYSTEM\\CONTROLSET002\\SERVICES");  // no service below it
  addKey(set(1, "OTHER"));
  addKey(set(1, "ENUM"));
  EXPECT_EQ(removeServiceKeys(""), 0);
  EXPECT_TRUE(hasKey("SYSTEM\\CONTROLSET002\\SERVICES"));
  EXPECT_TRUE(hasKey(set(1, "OTHER")));
  EXPECT_TRUE(hasKey(set(1, "ENUM")));
}

TEST_F(ServiceKeys, OverlongNameIsNotCutShortOntoAnotherKey) {
  std::string name(500, 'A');
  // The key a path cut at the 512-byte buffer would name.
  std::string cut = set(1, name).substr(0, 511);
  addKey(cut);
  EXPECT_EQ(removeServiceKeys(name.c_str()), 0);
  EXPECT_TRUE(hasKey(cut));

  std::string longest(472, 'B');
  for (int number : {1, 2}) addKey(set(number, longest));
  EXPECT_EQ(removeServiceKeys(longest.c_str()), 1);
  EXPECT_FALSE(hasKey(set(1, longest)));
  EXPECT_FALSE(hasKey(set(2, longest)));
}
