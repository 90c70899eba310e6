// Reading, checking and summarising signature table images. Shared by the
// table generator (which checks its own output), the sigtable tool and the
// table tests. Everything works on byte images with explicit little-endian
// loads and stores, so the results do not depend on the host's byte order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/signature_record.h"

namespace sigtable {

constexpr size_t kRecordSize = sizeof(SignatureRecord);
constexpr size_t kUuRecordSize = sizeof(UuSignatureRecord);

// Byte-exact conversion between a record and its 108-byte stored form.
void encodeRecord(const SignatureRecord& rec, uint8_t* out);
SignatureRecord decodeRecord(const uint8_t* in);

// Byte-exact conversion between a uuencoded record and its 170-byte form.
void encodeUuRecord(const UuSignatureRecord& rec, uint8_t* out);
UuSignatureRecord decodeUuRecord(const uint8_t* in);

// Result of reading a table image: the records before the end record, the
// faults that make the image unusable, and remarks that do not.
struct ParsedTable {
  std::vector<SignatureRecord> records;
  bool endRecordFound = false;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  bool valid() const { return errors.empty(); }
};

// Reads and checks a table image: length a multiple of the record size, an
// end record (first name byte 0) that is the last record, names that are
// NUL-terminated, printable and zero-padded, terminator bytes 0, size rules
// 1 to 3.
ParsedTable parseTable(const uint8_t* data, size_t size);

// Result of reading a uuencoded-signature table image (no end record: the
// length gives the count).
struct ParsedUuTable {
  std::vector<UuSignatureRecord> records;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  bool valid() const { return errors.empty(); }
};

// Reads and checks a uuencoded-signature table image: length a positive
// multiple of the record size, names NUL-terminated, pattern lengths within
// the pattern field; unused pattern and reserved bytes should be zero.
ParsedUuTable parseUuTable(const uint8_t* data, size_t size);

enum class NameShape { Ransom, Plain, Other };

// Splits "W32/Tarvolinex.<Tag>.Ransom.Trojan" and "W32/Tarvolinex.<Tag>.Trojan"
// into shape and tag. A tag is a capital letter followed by lower-case
// letters; anything else is NameShape::Other with an empty tag.
struct TaggedName {
  NameShape shape = NameShape::Other;
  std::string tag;
};
TaggedName splitName(const std::string& name);

// The name field as a string (up to the first NUL, at most 50 bytes).
std::string recordName(const SignatureRecord& rec);

// Figures that describe a table. Tag lengths and name groups count records.
struct TableStats {
  size_t records = 0;
  size_t ransomNames = 0;
  size_t plainNames = 0;
  size_t otherNames = 0;
  std::map<size_t, size_t> ransomTagLengths;  // tag length -> records
  std::map<size_t, size_t> plainTagLengths;
  size_t minNameLength = 0;
  size_t maxNameLength = 0;
  size_t distinctNames = 0;
  size_t repeatedNames = 0;   // names carried by more than one record
  size_t largestGroup = 0;    // most records that carry one name
  size_t firstNegative = 0;
  size_t secondNegative = 0;
  int32_t minOffset = 0;      // over both displacements
  int32_t maxOffset = 0;
  size_t firstPatternsWithZero = 0;
  int32_t minSize = 0;
  int32_t maxSize = 0;
  std::map<int32_t, size_t> ruleCounts;
  size_t duplicateSignatures = 0;  // records whose size and both patterns repeat an earlier record's
};

TableStats computeStats(const std::vector<SignatureRecord>& records);

// Multi-line human-readable summary, one figure per line.
std::string formatStats(const TableStats& stats);

// "61 5c ba ..." for a run of bytes.
std::string hexBytes(const uint8_t* bytes, size_t count);

// Whole file into out; false when it cannot be read.
bool readFile(const std::string& path, std::vector<uint8_t>& out);

}  // namespace sigtable
