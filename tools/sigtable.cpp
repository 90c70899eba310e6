// sigtable: inspect signature table files.
//
//   sigtable dump FILE       one line per record
//   sigtable validate [--quiet] FILE     check the record format and print the table's figures
//   sigtable validate-uu [--quiet] FILE  check a uuencoded-signature table
//   sigtable compare A B                 list the records that differ between two tables
//   sigtable dump-uu FILE                the uuencoded-file record(s), pattern unscrambled
//
// With --quiet only the faults are printed, on stderr ("FILE: error: no end
// record", then "FILE: INVALID"); the build runs the checks that way before it
// embeds the tables.
//
// Exit status: 0 valid / same, 1 invalid / different, 2 usage or unreadable file.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/signature_record.h"
#include "tools/sigtable_stats.h"

namespace {

using sigtable::hexBytes;
using sigtable::recordName;

int usage() {
  std::fprintf(stderr,
               "usage: sigtable dump FILE\n"
               "       sigtable validate [--quiet] FILE\n"
               "       sigtable validate-uu [--quiet] FILE\n"
               "       sigtable compare A B\n"
               "       sigtable dump-uu FILE\n");
  return 2;
}

bool load(const char* path, std::vector<uint8_t>& bytes) {
  if (sigtable::readFile(path, bytes)) return true;
  std::fprintf(stderr, "sigtable: cannot read %s\n", path);
  return false;
}

std::string describe(size_t index, const SignatureRecord& r) {
  return std::to_string(index) + "\t" + recordName(r) + "\t" + std::to_string(r.firstOffset) +
         "\t" + hexBytes(r.firstPattern, 20) + "\t" + std::to_string(r.secondOffset) + "\t" +
         hexBytes(r.secondPattern, 20) + "\t" + std::to_string(r.fileSize) + "\t" +
         std::to_string(r.sizeRule);
}

template <typename Parsed>
void printProblems(const Parsed& t, const char* path, FILE* out = stdout) {
  for (const std::string& e : t.errors) std::fprintf(out, "%s: error: %s\n", path, e.c_str());
  for (const std::string& w : t.warnings) std::fprintf(out, "%s: warning: %s\n", path, w.c_str());
}

// The quiet form of a check: faults and the verdict on stderr, nothing when valid.
template <typename Parsed>
int reportQuietly(const Parsed& t, const char* path) {
  printProblems(t, path, stderr);
  if (!t.valid()) std::fprintf(stderr, "%s: INVALID\n", path);
  return t.valid() ? 0 : 1;
}

// Lists every record, valid or not, up to the end record; format faults follow.
int dump(const char* path) {
  std::vector<uint8_t> bytes;
  if (!load(path, bytes)) return 2;
  const sigtable::ParsedTable t = sigtable::parseTable(bytes.data(), bytes.size());
  std::printf("# index\tname\tfirstOffset\tfirstPattern\tsecondOffset\tsecondPattern\tfileSize\tsizeRule\n");
  for (size_t i = 0; i < t.records.size(); ++i) std::printf("%s\n", describe(i, t.records[i]).c_str());
  printProblems(t, path);
  return t.valid() ? 0 : 1;
}

int validate(const char* path, bool quiet) {
  std::vector<uint8_t> bytes;
  if (!load(path, bytes)) return 2;
  const sigtable::ParsedTable t = sigtable::parseTable(bytes.data(), bytes.size());
  if (quiet) return reportQuietly(t, path);
  printProblems(t, path);
  std::printf("%s", sigtable::formatStats(sigtable::computeStats(t.records)).c_str());
  std::printf("%s: %s\n", path, t.valid() ? "valid" : "INVALID");
  return t.valid() ? 0 : 1;
}

int validateUu(const char* path, bool quiet) {
  std::vector<uint8_t> bytes;
  if (!load(path, bytes)) return 2;
  const sigtable::ParsedUuTable t = sigtable::parseUuTable(bytes.data(), bytes.size());
  if (quiet) return reportQuietly(t, path);
  printProblems(t, path);
  std::printf("%zu uuencoded-file record(s)\n", t.records.size());
  std::printf("%s: %s\n", path, t.valid() ? "valid" : "INVALID");
  return t.valid() ? 0 : 1;
}

// Names each field of a record pair that differs.
std::string differingFields(const SignatureRecord& a, const SignatureRecord& b) {
  std::string out;
  auto add = [&out](const char* field) { out += out.empty() ? field : std::string(", ") + field; };
  if (std::memcmp(a.name, b.name, sizeof a.name) != 0) add("name");
  if (a.firstOffset != b.firstOffset) add("firstOffset");
  if (std::memcmp(a.firstPattern, b.firstPattern, 20) != 0) add("firstPattern");
  if (a.firstTerminator != b.firstTerminator) add("firstTerminator");
  if (a.secondOffset != b.secondOffset) add("secondOffset");
  if (std::memcmp(a.secondPattern, b.secondPattern, 20) != 0) add("secondPattern");
  if (a.secondTerminator != b.secondTerminator) add("secondTerminator");
  if (a.fileSize != b.fileSize) add("fileSize");
  if (a.sizeRule != b.sizeRule) add("sizeRule");
  return out;
}

int compare(const char* pathA, const char* pathB) {
  std::vector<uint8_t> a, b;
  if (!load(pathA, a) || !load(pathB, b)) return 2;
  const sigtable::ParsedTable ta = sigtable::parseTable(a.data(), a.size());
  const sigtable::ParsedTable tb = sigtable::parseTable(b.data(), b.size());
  printProblems(ta, pathA);
  printProblems(tb, pathB);

  size_t differing = 0;
  const size_t common = std::min(ta.records.size(), tb.records.size());
  for (size_t i = 0; i < common; ++i) {
    const std::string fields = differingFields(ta.records[i], tb.records[i]);
    if (fields.empty()) continue;
    ++differing;
    std::printf("record %zu differs (%s)\n  < %s\n  > %s\n", i, fields.c_str(),
                describe(i, ta.records[i]).c_str(), describe(i, tb.records[i]).c_str());
  }
  for (size_t i = common; i < ta.records.size(); ++i) {
    ++differing;
    std::printf("record %zu only in %s\n  < %s\n", i, pathA, describe(i, ta.records[i]).c_str());
  }
  for (size_t i = common; i < tb.records.size(); ++i) {
    ++differing;
    std::printf("record %zu only in %s\n  > %s\n", i, pathB, describe(i, tb.records[i]).c_str());
  }
  // Bytes the records do not cover (end record, trailing garbage) count too.
  const bool sameBytes = a == b;
  if (differing == 0 && !sameBytes) std::printf("records agree, but the files differ outside them\n");
  std::printf("%zu record(s) differ\n", differing);
  return sameBytes ? 0 : 1;
}

int dumpUu(const char* path) {
  std::vector<uint8_t> bytes;
  if (!load(path, bytes)) return 2;
  const sigtable::ParsedUuTable t = sigtable::parseUuTable(bytes.data(), bytes.size());
  for (size_t i = 0; i < t.records.size(); ++i) {
    const UuSignatureRecord& r = t.records[i];
    const void* nul = std::memchr(r.name, 0, sizeof r.name);
    const std::string name(r.name, nul ? static_cast<const char*>(nul) - r.name : sizeof r.name);
    const size_t length = std::min<size_t>(r.patternLength, sizeof r.pattern);
    std::string text;
    for (size_t k = 0; k < length; ++k) {
      const uint8_t c = static_cast<uint8_t>(r.pattern[k] ^ kUuPatternKey);
      text += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '.';
    }
    std::printf("record %zu\n", i);
    std::printf("  name           %s\n", name.c_str());
    std::printf("  size           %d\n", static_cast<int>(r.size));
    std::printf("  position       %d\n", r.position);
    std::printf("  patternLength  %u\n", static_cast<unsigned>(r.patternLength));
    std::printf("  region         %d\n", r.region);
    std::printf("  method         %d\n", r.method);
    std::printf("  unused1        %d\n", r.unused1);
    std::printf("  uuSizeRule     %d\n", r.uuSizeRule);
    std::printf("  unused2        %d\n", r.unused2);
    std::printf("  pattern        %s\n", text.c_str());
  }
  printProblems(t, path);
  return t.valid() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string cmd = argv[1];
  if (cmd == "dump" && argc == 3) return dump(argv[2]);
  const bool quiet = argc == 4 && std::string(argv[2]) == "--quiet";
  if (cmd == "validate" && (argc == 3 || quiet)) return validate(argv[argc - 1], quiet);
  if (cmd == "validate-uu" && (argc == 3 || quiet)) return validateUu(argv[argc - 1], quiet);
  if (cmd == "compare" && argc == 4) return compare(argv[2], argv[3]);
  if (cmd == "dump-uu" && argc == 3) return dumpUu(argv[2]);
  return usage();
}
