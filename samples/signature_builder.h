// One file signature record (engine/signature_record.h) made from its fields,
// for the tests, the fuzz targets and the table generator: every byte not
// named stays zero (terminators, the rest of the name).
#pragma once
#include <cstdint>
#include <cstring>

#include "engine/signature_record.h"

// `name` is cut to fit its 50 bytes with a terminator; each pattern is 20 bytes.
inline SignatureRecord signatureRecord(const char* name, int32_t firstOffset,
                                       const uint8_t* firstPattern, int32_t secondOffset,
                                       const uint8_t* secondPattern, int32_t fileSize,
                                       int32_t sizeRule = 1) {
  SignatureRecord record;
  std::memset(&record, 0, sizeof record);
  std::strncpy(record.name, name, sizeof record.name - 1);
  record.firstOffset = firstOffset;
  std::memcpy(record.firstPattern, firstPattern, sizeof record.firstPattern);
  record.secondOffset = secondOffset;
  std::memcpy(record.secondPattern, secondPattern, sizeof record.secondPattern);
  record.fileSize = fileSize;
  record.sizeRule = sizeRule;
  return record;
}
