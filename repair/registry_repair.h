// Removal of the trojan's start-up registry values after a match, and the
// hosts-file check.
#pragma once
#include "platform/types.h"

// Runs once per matching file, while currentFile names it: examines the hosts
// file, deletes values of the remembered start-up name, and cleans the Run and
// RunServices keys of values that start the file, in each registry view
// (repair/registry_values.h). With the report action
// (103) nothing is deleted: each value a delete run would remove, and the
// trojan's uninstall entry, is listed as found, once per scan. Always 1.
int repairRegistry(const char* detectionName);

// Deletes the values of `keyPath` that start currentFile (in report mode lists
// them), remembering the value's name in startupValueName.
void cleanStartupKey(RegKey root, const char* keyPath);

// Opens the key for all access, deletes the value, closes the key; 1 when the
// deletion and the close succeeded.
int deleteRegistryValue(RegKey root, const char* keyPath, const char* valueName);

// Reads a string value's text into `out` (`capacity` bytes, NUL-terminated),
// as readValueText does: terminated or not, data larger than the buffer read
// up to it. 1 only when the key and value were read and the value is a string.
int readRegistryString(RegKey root, const char* keyPath, const char* valueName, char* out,
                       uint32_t capacity);
