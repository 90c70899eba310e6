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
  size_t count = 0;
  using Entry = std::pair<int32_t, uint32_t>;  // reference size, record index
  std::vector<Entry> exact;                   // rule 1, sorted
  std::vector<Entry> tolerance;               // rule 2, sorted
  std::vector<uint32_t> anySize;              // rule 3, in table order
  // Every length a rule 1 or 2 record accepts lies within these bounds; most
  // files of a disk are smaller than any record and are ruled out here.
  int64_t lowest = INT64_MAX;
  int64_t highest = INT64_MIN;
  // The lengths some rule 1 or 2 record accepts, as disjoint ranges [first,
  // last] in ascending order, and for each bucket of lengths from `lowest`
  // on (1 << bucketShift of them) the first range that does not end before
  // it: a file's eligibility is a look at the few ranges of its bucket.
  std::vector<std::pair<int64_t, int64_t>> accepted;
  std::vector<uint32_t> firstRangeOfBucket;
  // One bit a bucket, set when some range meets it: a small table that most
  // lengths are ruled out by alone.
  std::vector<uint64_t> bucketMet;
  int bucketShift = 0;
  std::vector<uint32_t> accepting;  // the last answer of recordsAcceptingLength
};
SizeIndex g_sizeIndex;

// Records before the end record, at most `limit`.
size_t countRecords(const SignatureRecord* table, size_t limit) {
  size_t count = 0;
  while (count < limit && table[count].name[0]) ++count;
  return count;
}

void buildSizeIndex(const SignatureRecords& records) {
  SizeIndex index;
  index.table = records.first;
  index.count = records.count;
  for (uint32_t i = 0; i < records.count; ++i) {
    const SignatureRecord& record = records.first[i];
    if (record.sizeRule == 1) index.exact.emplace_back(record.fileSize, i);
    if (record.sizeRule == 2) index.tolerance.emplace_back(record.fileSize, i);
    if (record.sizeRule == 3) index.anySize.push_back(i);
  }
  std::sort(index.exact.begin(), index.exact.end());
  std::sort(index.tolerance.begin(), index.tolerance.end());
  auto widen = [&index](int64_t low, int64_t high) {
    index.lowest = std::min(index.lowest, low);
    index.highest = std::max(index.highest, high);
  };
  if (!index.exact.empty()) widen(index.exact.front().first, index.exact.back().first);
  if (!index.tolerance.empty())
    widen(int64_t{index.tolerance.front().first} - kSizeTolerance + 1,
          int64_t{index.tolerance.back().first} + kSizeTolerance - 1);
  std::vector<std::pair<int64_t, int64_t>> ranges;
  for (const auto& entry : index.exact) ranges.emplace_back(entry.first, entry.first);
  for (const auto& entry : index.tolerance)
    ranges.emplace_back(int64_t{entry.first} - kSizeTolerance + 1,
                        int64_t{entry.first} + kSizeTolerance - 1);
  std::sort(ranges.begin(), ranges.end());
  for (const auto& range : ranges) {
    if (!index.accepted.empty() && range.first <= index.accepted.back().second + 1)
      index.accepted.back().second = std::max(index.accepted.back().second, range.second);
    else
      index.accepted.push_back(range);
  }
  if (!index.accepted.empty()) {
    constexpr int64_t kMaxBuckets = 1 << 14;  // a table of at most 64 KB
    while (((index.highest - index.lowest) >> index.bucketShift) >= kMaxBuckets) ++index.bucketShift;
    const int64_t buckets = ((index.highest - index.lowest) >> index.bucketShift) + 1;
    index.firstRangeOfBucket.resize(static_cast<size_t>(buckets));
    uint32_t range = 0;
    for (int64_t bucket = 0; bucket < buckets; ++bucket) {
      const int64_t start = index.lowest + (bucket << index.bucketShift);
      while (range < index.accepted.size() && index.accepted[range].second < start) ++range;
      index.firstRangeOfBucket[static_cast<size_t>(bucket)] = range;
    }
    index.bucketMet.assign(static_cast<size_t>(buckets + 63) / 64, 0);
    for (const auto& accepted : index.accepted) {
      const size_t first = static_cast<size_t>((accepted.first - index.lowest) >> index.bucketShift);
      const size_t last = static_cast<size_t>((accepted.second - index.lowest) >> index.bucketShift);
      for (size_t bucket = first; bucket <= last;) {
        if (bucket % 64 == 0 && bucket + 63 <= last) {  // a whole word at once
          index.bucketMet[bucket / 64] = ~uint64_t{0};
          bucket += 64;
        } else {
          index.bucketMet[bucket / 64] |= uint64_t{1} << (bucket % 64);
          ++bucket;
        }
      }
    }
  }
  index.accepting.reserve(records.count);
  g_sizeIndex = std::move(index);
}

// Built for the active table on first use; useSignatureTable drops it.
const SizeIndex& sizeIndex() {
  if (!g_sizeIndex.table) buildSizeIndex(signatureRecords());
  return g_sizeIndex;
}

// The rule 1 records of exactly `length` bytes and the rule 2 records within
// the tolerance of it: calls `take` with each one's index, in size order.
template <typename Take>
void forEachSizedRecord(const SizeIndex& index, long long length, Take take) {
  if (length < index.lowest || length > index.highest) return;
  const auto bySize = [](const SizeIndex::Entry& entry, long long value) {
    return entry.first < value;
  };
  for (auto at = std::lower_bound(index.exact.begin(), index.exact.end(), length, bySize);
       at != index.exact.end() && at->first == length; ++at)
    take(at->second);
  // Rule 2: the reference size lies strictly within the tolerance of the length.
  for (auto at = std::lower_bound(index.tolerance.begin(), index.tolerance.end(),
                                  length - kSizeTolerance + 1, bySize);
       at != index.tolerance.end() && at->first < length + kSizeTolerance; ++at)
    take(at->second);
}

}  // namespace

const SignatureRecord* signatureTable() {
  if (g_activeTable) return g_activeTable;
  return reinterpret_cast<const SignatureRecord*>(kEmbeddedSignatures);
}

void useSignatureTable(const SignatureRecord* records, size_t capacity) {
  g_activeTable = records;
  g_activeCount = records ? countRecords(records, capacity) : 0;
  g_sizeIndex.table = nullptr;  // a new table may stand where an old one stood
}

SignatureRecords signatureRecords() {
  static const size_t builtInCount = countRecords(
      reinterpret_cast<const SignatureRecord*>(kEmbeddedSignatures),
      kEmbeddedSignaturesSize / sizeof(SignatureRecord));
  if (!g_activeTable) return {signatureTable(), builtInCount};
  return {g_activeTable, g_activeCount};
}

bool signatureSizeEligible(long long length) {
  const SizeIndex& index = sizeIndex();
  if (!index.anySize.empty()) return true;
  if (length < index.lowest || length > index.highest) return false;
  // The first range that does not end before the length holds it, if any does.
  const size_t bucket = static_cast<size_t>((length - index.lowest) >> index.bucketShift);
  if (!(index.bucketMet[bucket / 64] >> (bucket % 64) & 1)) return false;
  size_t range = index.firstRangeOfBucket[bucket];
  while (index.accepted[range].second < length) ++range;  // the last range ends at `highest`
  return index.accepted[range].first <= length;
}

const std::vector<uint32_t>& recordsAcceptingLength(long long length) {
  sizeIndex();
  std::vector<uint32_t>& accepting = g_sizeIndex.accepting;
  accepting.assign(g_sizeIndex.anySize.begin(), g_sizeIndex.anySize.end());
  forEachSizedRecord(g_sizeIndex, length, [](uint32_t at) { g_sizeIndex.accepting.push_back(at); });
  std::sort(accepting.begin(), accepting.end());
  return accepting;
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
