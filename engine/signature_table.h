// The built-in signature tables and the file check table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/signature_record.h"

// The active file signature table: records in table order, ending with a
// record whose first name byte is 0.
const SignatureRecord* signatureTable();
// Replaces the active table (tests): at most `capacity` records, up to its
// end record if one stands within them. Null restores the built-in one. A
// table is not changed in place while it is active.
void useSignatureTable(const SignatureRecord* records, size_t capacity = SIZE_MAX);

// The records of the active table in order, without the end record. The
// built-in table is read no further than its embedded bytes, whether or not
// an end record stands within them.
struct SignatureRecords {
  const SignatureRecord* first;
  size_t count;
  const SignatureRecord* begin() const { return first; }
  const SignatureRecord* end() const { return first + count; }
};
SignatureRecords signatureRecords();

// True when some record of the active table could accept a file of `length`
// bytes by its size rule alone. Lets the walk pass over files that no record
// can match without opening them.
bool signatureSizeEligible(long long length);

// The indices, in table order, of the active table's records whose size rule
// accepts a file of `length` bytes: rule 1 its exact size, rule 2 within the
// tolerance, rule 3 any. Valid until the next call.
const std::vector<uint32_t>& recordsAcceptingLength(long long length);

// The uuencoded signature table (one record). Mutable: its pattern is stored
// scrambled and restored in place by the uuencoded matcher's first call.
UuSignatureRecord* uuSignatureTable();
int uuSignatureCount();
// Replaces the active uuencoded table (tests); null restores the built-in one.
void useUuSignatureTable(UuSignatureRecord* records, int count);

// One per-file check: called with its own detection name, a full path and the
// file's length as listed; non-zero means the file was dealt with.
struct FileCheck {
  const char* name;
  int (*check)(const char* detectionName, const char* path, long long knownLength);
};
// Ends with an entry whose name is null.
extern const FileCheck kFileChecks[];

// The detection name of the one file check; the trailing blank belongs to it.
constexpr const char* kTrojanCheckName = "W32/Tarvolinex.Trojan ";
