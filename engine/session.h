// The one process-wide record of scan state, shared by the engine, the memory
// stage, the registry repair and the front end.
//
// The life of a scan, for a newcomer:
//  - Start. The dialog's SCAN button (app/scan_control.cpp) sets scanTarget
//    "!:", the window as reportWindow and the action, and starts a timer; its
//    handler calls runScan (engine/driver.cpp) on the window's own thread.
//    The console (cli/main.cpp) maps its DIRs as drives, binds the report
//    channel to a printer and calls runScan directly.
//  - Memory stage (memory/memory_stage.cpp): by the Windows family, lists the
//    processes, walks each image file as a one-file pattern, and on a match
//    stops the process (and its service), then acts on the file.
//  - Drives: walkDirectory (engine/walker.cpp) on "C:\*.*" to "Z:\*.*" for
//    every fixed drive, or on the one target folder. Each file goes to the
//    matchers (engine/pe_matcher.cpp, engine/uu_matcher.cpp); a match repairs
//    the registry (repair/) and takes the action (engine/actions.cpp).
//  - Report. Every line and status goes out through the report channel
//    (engine/report_channel.cpp): the dialog's binding sends 0x000B / 0x000A
//    to the window, which adds the line to its list synchronously; the
//    console's prints it. runScan ends with the statistics and the final
//    status, and may offer a restart (ConfirmBox).
//  - Why handlers nest in the walk: the scan runs on the window's thread, so
//    between entries the walker pumps one message (pumpOneMessage). Painting,
//    the Cancel button and Escape are handled there, inside walkDirectory: a
//    Cancel asks its question (ConfirmBox) and sets stopRequested, which every
//    level of the walk then sees; WM_QUIT (Ctrl+C on the console) does the same.
//
// Mode flags: actionCode chooses delete (100), rename (101) or report (103,
// nothing changed). memoryCheckMode (set outside the drive walk) makes a
// pattern name one file, counts nothing and turns a match into memoryHit
// instead of an action. killThenActAction, set while the memory stage walks a
// terminated process's image again, makes the matcher act on that file
// directly with that action. stopRequested ends the walk at its next entry.
#pragma once
#include <cstdint>

#include "platform/types.h"

constexpr int kReportLineSize = 1024;  // holds a 259-character path, name and action

// Action codes: what is done to an infected file.
constexpr int kActionDelete = 100;
constexpr int kActionRename = 101;
constexpr int kActionDeleteToo = 102;
constexpr int kActionReport = 103;

struct ScanSession {
  WindowHandle reportWindow;
  int32_t scanRunning;
  char detectionName[260];
  char statusText[260];
  char scanTarget[260];
  int32_t actionCode;
  char reportLine[kReportLineSize];
  uint8_t stopRequested;
  uint8_t scanFinished;
  int32_t restartNeeded;
  char programFilesPattern[260];
  int32_t filesScanned;
  int32_t filesInfected;
  int32_t filesRenamed;
  int32_t filesRemoved;
  uint8_t memoryHit;
  int32_t programFilesPending;
  int32_t programFilesSeen;
  int32_t killThenActAction;
  uint8_t memoryCheckMode;
  char startupValueName[128];
  char currentFile[261];
  int32_t currentFileLength;
};

// Zeroed at program start but for memoryCheckMode, which starts at 1.
extern ScanSession g_session;

// Puts the session back to its program-start state (tests and the console
// front end, which runs one scan per process).
void resetScanSession();

// Bounded copy: always terminates, never writes past `capacity` bytes.
void copyText(char* destination, const char* source, int capacity);
