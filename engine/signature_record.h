// Record layouts of the built-in signature tables. Both tables are packed,
// little-endian byte images embedded at build time; these structs overlay them.
#pragma once
#include <cstdint>
#include <cstring>

#pragma pack(push, 1)
// One file signature: two 20-byte patterns placed relative to the entry point.
struct SignatureRecord {
  char name[50];             // NUL-terminated; first byte 0 ends the table
  int32_t firstOffset;       // RVA displacement from the entry point
  uint8_t firstPattern[20];
  uint8_t firstTerminator;   // always 0, never compared
  int32_t secondOffset;
  uint8_t secondPattern[20];
  uint8_t secondTerminator;
  int32_t fileSize;          // reference length in bytes
  int32_t sizeRule;          // 1 equal, 2 within 4096, 3 any; else never matches
};

// One uuencoded-file signature; the pattern is stored XOR-ed with kUuPatternKey.
struct UuSignatureRecord {
  char name[25];
  int32_t size;
  int16_t position;
  uint16_t patternLength;    // 1..100; 0 disables the record
  int16_t region;            // 0 first 4096 bytes, 1 last 4096 bytes
  uint8_t pattern[100];
  int16_t method;            // 1 search the region, else compare at position
  int16_t unused1;
  int16_t uuSizeRule;        // 16 equal, 17 within 4096, else no size test
  int16_t unused2;
  uint8_t reserved[27];
};
#pragma pack(pop)

static_assert(sizeof(SignatureRecord) == 108, "signature record is 108 bytes");
static_assert(sizeof(UuSignatureRecord) == 170, "uuencoded record is 170 bytes");

constexpr int kSignatureCount = 1732;      // records of the shipped table
constexpr int32_t kSizeTolerance = 4096;   // size rule 2 (and uuencoded rule 17)
constexpr uint8_t kUuPatternKey = 0x5A;    // XOR key of stored uuencoded patterns
