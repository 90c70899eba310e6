// The memory scan stage: the running processes' image files are examined
// before any drive is walked.
#pragma once

// Runs the stage with memoryCheckMode set; on return memoryCheckMode is 0.
void runMemoryScanStage();
