// Removal of the trojan's fixed uninstall command and start-up value.
#pragma once

// 1 when the start-up key was reached, its value read, handled and the key
// closed without error; 0 on every failure. Reports nothing.
int cleanUninstallEntry();
