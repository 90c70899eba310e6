#include "engine/signature_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/pe_matcher.h"

// Generated at build time from res/signatures.dat and res/uu_signature.dat.
extern const unsigned char kEmbeddedSignatures[];
extern const size_t kEmbeddedSignaturesSize;
extern unsigned char kEmbeddedUuSignature[];
extern const size_t kEmbeddedUuSignatureSize;

const FileCheck kFileChecks[] = {
    {kTrojanCheckName, matchSignatureFile},
    {nullptr, nullptr},
};

namespace {

const SignatureRecord* g_activeTable = nullptr;
size_t g_activeCount = 0;
UuSignatureRecord* g_activeUuTable = nullptr;
int g_activeUuCount = 0;

// Size rules of the active table, built once per table.
struct SizeIndex {
  const SignatureRecord* table = nullptr;
  bool anySize = false;             // a rule-3 record accepts every length
  std::vector<int32_t> exact;       // rule 1, sorted
  std::vector<int32_t> tolerance;   // rule 2, sorted
  // Every length a rule 1 or 2 record accepts lies within these bounds; most
  // files of a disk are smaller than any record and are ruled out here.
  int64_t lowest = INT64_MAX;
  int64_t highest = INT64_MIN;
};
SizeIndex g_sizeIndex;

// Records before the end record, at most `limit`.
size_t countRecords(const SignatureRecord* table, size_t limit) {
  size_t count = 0;
  while (count < limit && table[count].name[0]) ++count;
  return count;
}

void buildSizeIndex(const SignatureRecord* table) {
  g_sizeIndex = SizeIndex();
  g_sizeIndex.table = table;
  for (const SignatureRecord& record : signatureRecords()) {
    if (record.sizeRule == 1) g_sizeIndex.exact.push_back(record.fileSize);
    if (record.sizeRule == 2) g_sizeIndex.tolerance.push_back(record.fileSize);
    if (record.sizeRule == 3) g_sizeIndex.anySize = true;
  }
  std::sort(g_sizeIndex.exact.begin(), g_sizeIndex.exact.end());
  std::sort(g_sizeIndex.tolerance.begin(), g_sizeIndex.tolerance.end());
  auto widen = [](int64_t low, int64_t high) {
    g_sizeIndex.lowest = std::min(g_sizeIndex.lowest, low);
    g_sizeIndex.highest = std::max(g_sizeIndex.highest, high);
  };
  if (!g_sizeIndex.exact.empty()) widen(g_sizeIndex.exact.front(), g_sizeIndex.exact.back());
  if (!g_sizeIndex.tolerance.empty())
    widen(int64_t{g_sizeIndex.tolerance.front()} - kSizeTolerance + 1,
          int64_t{g_sizeIndex.tolerance.back()} + kSizeTolerance - 1);
}

}  // namespace

const SignatureRecord* signatureTable() {
  if (g_activeTable) return g_activeTable;
  return reinterpret_cast<const SignatureRecord*>(kEmbeddedSignatures);
}

void useSignatureTable(const SignatureRecord* records, size_t capacity) {
  g_activeTable = records;
  g_activeCount = records ? countRecords(records, capacity) : 0;
}

SignatureRecords signatureRecords() {
  static const size_t builtInCount = countRecords(
      reinterpret_cast<const SignatureRecord*>(kEmbeddedSignatures),
      kEmbeddedSignaturesSize / sizeof(SignatureRecord));
  if (!g_activeTable) return {signatureTable(), builtInCount};
  return {g_activeTable, g_activeCount};
}

bool signatureSizeEligible(long long length) {
  const SignatureRecord* table = signatureTable();
  if (g_sizeIndex.table != table) buildSizeIndex(table);
  if (g_sizeIndex.anySize) return true;
  if (length < g_sizeIndex.lowest || length > g_sizeIndex.highest) return false;
  if (length < INT32_MIN || length > INT32_MAX) return false;
  int32_t size = static_cast<int32_t>(length);
  if (std::binary_search(g_sizeIndex.exact.begin(), g_sizeIndex.exact.end(), size)) return true;
  // Rule 2: the reference size lies strictly within the tolerance of the length.
  auto first = std::upper_bound(g_sizeIndex.tolerance.begin(), g_sizeIndex.tolerance.end(),
                                static_cast<int64_t>(size) - kSizeTolerance,
                                [](int64_t v, int32_t e) { return v < e; });
  return first != g_sizeIndex.tolerance.end() &&
         static_cast<int64_t>(*first) < static_cast<int64_t>(size) + kSizeTolerance;
}

UuSignatureRecord* uuSignatureTable() {
  if (g_activeUuTable) return g_activeUuTable;
  return reinterpret_cast<UuSignatureRecord*>(kEmbeddedUuSignature);
}

int uuSignatureCount() {
  if (g_activeUuTable) return g_activeUuCount;
  return static_cast<int>(kEmbeddedUuSignatureSize / sizeof(UuSignatureRecord));
}

void useUuSignatureTable(UuSignatureRecord* records, int count) {
  g_activeUuTable = records;
  g_activeUuCount = records ? count : 0;
}
