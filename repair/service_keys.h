// Removal of a service's registry keys from both numbered control sets.
#pragma once

// Tries all six deletions (Enum, Security, the key; in ControlSet001 then
// ControlSet002). 1 when at least one succeeded; an empty name removes
// nothing and gives 0.
int removeServiceKeys(const char* serviceName);

// RegDeleteKeyA under HKEY_LOCAL_MACHINE; 1 on success.
int deleteMachineKey(const char* keyPath);
