// One whole scan: memory stage, every fixed drive, statistics, restart offer.
#pragma once

// Runs the scan the session's scanTarget names ("!:" every fixed drive, any
// other text one folder, empty nothing) and closes the report. Always 1.
int runScan();
