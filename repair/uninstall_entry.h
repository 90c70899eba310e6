// Removal of the trojan's fixed uninstall command and start-up value.
#pragma once

// In each registry view (repair/registry_values.h): 1 when, in one of them,
// the start-up key was reached, its value read, handled and the key closed
// without error; 0 on every failure. Reports nothing.
int cleanUninstallEntry();

// Reads, without changing anything, which of the two values cleanUninstallEntry
// would delete now, and calls `found` with the key and name of each, in the
// cleanup's order, view by view.
void findUninstallEntry(void (*found)(const char* keyPath, const char* valueName));
