// Which Windows family and generation the system runs on, and the forced restart.
#pragma once

constexpr int kFamilyUnknown = 0;
constexpr int kFamilyOther = 1;
constexpr int kFamily9x = 4;
constexpr int kFamilyNt = 5;
constexpr int kGenerationNt4 = 5;
constexpr int kGenerationNt5 = 6;

// 4 the 9x family, 5 the NT family, 1 another platform, 0 when unknown.
int getWindowsFamily();
// 5 for NT 4 and older, 6 for NT 5.x, 0 otherwise (and off the NT family).
int getNtGeneration();
// Enables the shutdown privilege where there are privileges and forces a
// reboot. 0 when the token cannot be opened, the last error when the privilege
// was not granted, otherwise the result of the restart request.
int restartComputer();
