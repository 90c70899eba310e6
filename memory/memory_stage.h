// The memory scan stage: the running processes' image files are examined
// before any drive is walked; infected processes are terminated and their
// files removed.
#pragma once

// Runs the stage with memoryCheckMode set; on return memoryCheckMode is 0. On
// the NT family, a trojan found running ends the program here (after the
// restart question when one of its processes could not be terminated). With
// the report action (103) nothing is terminated, stopped or removed: each
// infected process is listed and the run goes on with the drives.
void runMemoryScanStage();

// The 9x family: tool-help snapshot; an infected process is terminated and
// its file removed, and the scan goes on.
void scanProcesses9x();

// The NT family: process-status listing; termination, then the service route.
// Non-zero when the image file of a listed process matched.
int scanProcessesNt();

// Set when an infected process could be neither terminated nor stopped as a
// service; never cleared.
extern int g_memoryRestartNeeded;

// Service name of an image path: the file name without folder and extension.
// `out` holds 260 bytes.
void serviceNameOfImage(const char* imagePath, char* out);
