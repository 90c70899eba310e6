// Removal of the trojan's start-up registry values after a match.
#pragma once

// Runs once per matching file, while currentFile names it. Always 1.
int repairRegistry(const char* detectionName);
