// Registry calls, under their Win32 names. Results are Win32 error codes
// (0 is ERROR_SUCCESS).
#pragma once
#include "platform/scoped_handle.h"
#include "platform/types.h"

#define PLATFORM_HKEY_LOCAL_MACHINE (reinterpret_cast<RegKey>(static_cast<uintptr_t>(0x80000002u)))
#define PLATFORM_HKEY_PERFORMANCE_DATA (reinterpret_cast<RegKey>(static_cast<uintptr_t>(0x80000004u)))

constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kKeyRead = 0x20019;
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegMultiSz = 7;

long regOpenKeyEx(RegKey root, const char* subKey, uint32_t access, RegKey* key);
long regCloseKey(RegKey key);
// RegQueryInfoKeyA, asking only for the number of values.
long regQueryValueCount(RegKey key, uint32_t* valueCount);
// RegEnumValueA asking for the name only; *nameLength is the capacity in and
// the name's length out.
long regEnumValueName(RegKey key, uint32_t index, char* name, uint32_t* nameLength);
// RegQueryValueExA; a null `data` asks for the size only.
long regQueryValueEx(RegKey key, const char* valueName, uint32_t* type, uint8_t* data,
                     uint32_t* dataSize);
long regDeleteValue(RegKey key, const char* valueName);
long regDeleteKey(RegKey root, const char* subKey);
// RegEnumKeyExA asking for the name only; *nameLength is the capacity in and
// the name's length out.
long regEnumKeyName(RegKey key, uint32_t index, char* name, uint32_t* nameLength);
// ExpandEnvironmentStringsA: the size needed including the terminator, 0 on failure.
uint32_t expandEnvironmentStrings(const char* source, char* out, uint32_t capacity);

// The registry views of HKEY_LOCAL_MACHINE\Software that cleaning must visit
// besides the one the calls above reach: for each, the name of the key under
// "Software" that holds it ("WOW6432Node", the 32-bit programs' view of a
// 64-bit Windows). Writes at most `capacity` names and returns how many. None
// on a running Windows, which shows a 32-bit program its own view by itself;
// for an offline 64-bit installation, its 32-bit view.
constexpr int kMaxExtraSoftwareViews = 2;
int regExtraSoftwareViews(const char** views, int capacity);

// One write for the registry changes of one infected file. regHoldChanges
// starts holding changes in memory where the platform writes whole stores
// (the hives of an offline installation: true); regWriteChanges then writes
// each store holding changes once. A running Windows makes each change at
// once (false, nothing held). After regWriteChanges, regChangesWritten tells
// whether the changes made under `keyPath` (below HKEY_LOCAL_MACHINE) are on
// disk.
bool regHoldChanges();
void regWriteChanges();
bool regChangesWritten(const char* keyPath);

// An open key; close() gives RegCloseKey's result.
struct RegKeyTraits {
  using Value = RegKey;
  static Value empty() { return nullptr; }
  static bool isOpen(Value key) { return key != nullptr; }
  static long close(Value key) { return regCloseKey(key); }
};
using ScopedRegKey = ScopedHandle<RegKeyTraits>;
