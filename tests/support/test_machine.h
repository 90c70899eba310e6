// The machine a test executable runs the system on, back to a fresh state
// with no drives: the simulated machine (tests/sim) in drenvalisk_tests and the
// fuzz targets, the Linux platform in drenvalisk_linux_tests.
#pragma once

void resetTestMachine();
