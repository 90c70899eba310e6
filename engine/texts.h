// What the program says in its own words, in one place: the title of its
// windows and questions, the questions the scan asks, the final status
// words and the memory stage's report line. The front ends, their tests and
// the remote driver of the end-to-end checks take these texts from here.
#pragma once

// Caption of the main window and title of every question the scan asks.
constexpr const char* kProductTitle = "Drenvalisk Ver " DRENVALISK_VERSION;  // "Drenvalisk Ver 1.0"
// Asked by Cancel, the X button and Escape while a scan runs.
constexpr const char* kStopQuestion = "Terminate the Scan now?";
// Asked at the end of a scan that could only schedule a removal.
constexpr const char* kRestartQuestion =
    "The system has to be restarted to remove the virus completely from your system. \n\n "
    "Restart now?";
// Asked by the memory stage on the NT family when a running trojan could
// not be terminated.
constexpr const char* kMemoryRestartQuestion =
    "W32/Tarvolinex.Trojan  found in memory! registry entries created by the worm are removed. "
    "You must restart the computer and run this program to continue scanning.\n\n"
    "Restart the computer now?";
// The line before the removal of a running trojan's program file.
constexpr const char* kMemoryRemovedLine = "System Memory    W32/Tarvolinex.Trojan  removed";
// The status label's last word.
constexpr const char* kStatusCompleted = "Scanning completed";
constexpr const char* kStatusTerminated = "Scanning terminated";
