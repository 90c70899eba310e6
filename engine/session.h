// The one process-wide record of scan state, shared by the engine, the memory
// stage, the registry repair and the front end.
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
