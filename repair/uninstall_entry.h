// Removal of the trojan's fixed uninstall command and start-up value.
#pragma once

// 1 when the start-up key was reached, its value read, handled and the key
// closed without error; 0 on every failure. Reports nothing.
int cleanUninstallEntry();

// Reads, without changing anything, which of the two values cleanUninstallEntry
// would delete now, and calls `found` with the key and name of each, in the
// cleanup's order.
void findUninstallEntry(void (*found)(const char* keyPath, const char* valueName));
