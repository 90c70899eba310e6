// The registry of an offline installation (platform/offline/offline_windows.h):
// HKEY_LOCAL_MACHINE\Software served from its SOFTWARE hive and
// HKEY_LOCAL_MACHINE\SYSTEM from its SYSTEM hive, through libhivex. The host's
// registry calls hand over to these while C: holds an installation; results
// are Win32 error codes, as there. Names and string data are UTF-8.
#pragma once
#include "platform/types.h"

// An installation on C: serves the registry.
bool hiveRegistryServes();
// The key is one of ours.
bool hiveOwnsKey(RegKey key);
// Keys opened and not yet closed, so tests can see every key closed.
int hiveOpenKeyCount();

long hiveRegOpenKey(const char* subKey, RegKey* key);
long hiveRegCloseKey(RegKey key);
long hiveRegQueryValueCount(RegKey key, uint32_t* valueCount);
long hiveRegEnumValueName(RegKey key, uint32_t index, char* name, uint32_t* nameLength);
long hiveRegQueryValueEx(RegKey key, const char* valueName, uint32_t* type, uint8_t* data,
                         uint32_t* dataSize);
// Deletions are committed to the hive file at once, unless changes are held
// (below): a deletion that could not be written fails and leaves the file as
// it was.
long hiveRegDeleteValue(RegKey key, const char* valueName);
long hiveRegDeleteKey(const char* subKey);
long hiveRegEnumKeyName(RegKey key, uint32_t index, char* name, uint32_t* nameLength);

// Adds the file (a Windows path on C:) to the SYSTEM hive's
// PendingFileRenameOperations, so that the installation deletes it at its next
// start; false when it cannot be recorded.
bool hiveScheduleDeletion(const char* path);
// The number of the control set the installation starts with next
// (SYSTEM\Select\Default), else 1.
unsigned hiveDefaultControlSet();

// Changes held for one commit per hive: from hiveHoldChanges on, changes are
// made to the hives in memory only (false, and nothing held, without an
// installation); hiveWriteHeldChanges commits each hive holding changes once.
// hiveChangesWritten then tells whether every change held for the hive of
// `keyPath` ("SOFTWARE\\...", "SYSTEM\\...") is on disk.
bool hiveHoldChanges();
void hiveWriteHeldChanges();
bool hiveChangesWritten(const char* keyPath);
