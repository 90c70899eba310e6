// drenvalisk-make-samples: writes harmless synthetic file trees for the demo
// and the corpus benchmark. Every byte comes from a fixed seed, so two runs
// with the same arguments write identical trees.
//
//   drenvalisk-make-samples demo DIR      a small tree with three infected samples
//   drenvalisk-make-samples corpus DIR N [--clean]
//                                         N files in nested folders; --clean
//                                         leaves every file uninfected
//   drenvalisk-make-samples installation DIR KEYS
//                                         a Windows installation's registry
//                                         hives in DIR/Windows, KEYS filler
//                                         keys in each
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/signature_table.h"
#include "samples/hive_builder.h"
#include "samples/pe_builder.h"

namespace {

namespace fs = std::filesystem;

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  uint32_t range(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(next() % (static_cast<uint64_t>(high) - low + 1));
  }
  // True with probability perMille / 1000.
  bool chance(unsigned perMille) { return next() % 1000 < perMille; }

 private:
  uint64_t state_;
};

constexpr uint64_t kCorpusSeed = 0x44524E564C534B31ull;  // "DRNVLSK1"
constexpr uint32_t kSmallRecordLimit = 64 * 1024;       // keeps the corpus small

// Writes a file, replacing a read-only one left by an earlier run.
bool writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ignored;
  fs::create_directories(path.parent_path(), ignored);
  ::unlink(path.c_str());
  if (writeHostFile(path.string(), bytes)) return true;
  std::fprintf(stderr, "drenvalisk-make-samples: cannot write %s\n", path.c_str());
  return false;
}

std::vector<uint8_t> textBytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Records of the built-in table small enough for the sample trees and whose
// displacements fit a file of their exact size, in table order.
std::vector<const SignatureRecord*> buildableRecords() {
  std::vector<const SignatureRecord*> records;
  for (const SignatureRecord& record : signatureRecords()) {
    if (record.sizeRule != 1 || record.fileSize <= 0 ||
        static_cast<uint32_t>(record.fileSize) > kSmallRecordLimit)
      continue;
    if (!buildInfectedSample(record).empty()) records.push_back(&record);
  }
  return records;
}

// Exact sizes of every rule-1 record, sorted, so random sizes can avoid them.
std::vector<int32_t> exactSizes() {
  std::vector<int32_t> sizes;
  for (const SignatureRecord& record : signatureRecords())
    if (record.sizeRule == 1) sizes.push_back(record.fileSize);
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

// ---------------------------------------------------------------- demo

int makeDemo(const fs::path& root) {
  std::vector<const SignatureRecord*> records = buildableRecords();
  // Three records with different names.
  std::vector<const SignatureRecord*> chosen;
  for (const SignatureRecord* record : records) {
    bool repeated = false;
    for (const SignatureRecord* other : chosen)
      repeated = repeated || std::strncmp(other->name, record->name, sizeof record->name) == 0;
    if (!repeated) chosen.push_back(record);
    if (chosen.size() == 3) break;
  }
  if (chosen.size() < 3) {
    std::fprintf(stderr, "drenvalisk-make-samples: the table has too few small records\n");
    return 1;
  }

  bool ok = true;
  ok &= writeFile(root / "Windows" / "notepad.exe", buildCleanSample(24 * 1024, 1));
  ok &= writeFile(root / "Windows" / "system32" / "calc.exe", buildCleanSample(12 * 1024, 2));
  ok &= writeFile(root / "Program Files" / "Viewer" / "viewer.exe", buildCleanSample(18 * 1024, 3));
  ok &= writeFile(root / "Users" / "alice" / "Downloads" / "setup.exe", buildCleanSample(9 * 1024, 4));

  ok &= writeFile(root / "Users" / "alice" / "Documents" / "notes.txt",
                  textBytes("Shopping list:\r\n- bread\r\n- coffee\r\n"));
  ok &= writeFile(root / "Users" / "alice" / "Documents" / "letter.txt",
                  textBytes("Dear Bob,\r\nthe photos are on the shared drive.\r\nAlice\r\n"));
  ok &= writeFile(root / "Program Files" / "Viewer" / "readme.txt",
                  textBytes("Viewer 1.0\r\nA harmless demo program folder.\r\n"));

  const fs::path infected[3] = {
      root / "Users" / "alice" / "Downloads" / "invoice.exe",
      root / "Program Files" / "Common Files" / "updater.exe",
      root / "Users" / "alice" / "Desktop" / "screensaver.scr",
  };
  for (int i = 0; i < 3; ++i) ok &= writeFile(infected[i], buildInfectedSample(*chosen[i]));
  // The desktop sample is read-only, as the actions must cope with.
  ok &= ::chmod(infected[2].c_str(), 0444) == 0;

  if (!ok) return 1;
  for (int i = 0; i < 3; ++i)
    std::fprintf(stderr, "infected sample %s: %.50s (%d bytes)\n", infected[i].c_str(),
                 chosen[i]->name, chosen[i]->fileSize);
  return 0;
}

// ---------------------------------------------------------------- corpus

// Folder of the i-th file: about 40 files a folder, three levels deep.
fs::path corpusFolder(const fs::path& root, uint32_t index) {
  uint32_t folder = index / 40;
  char name[64];
  std::snprintf(name, sizeof name, "vol%02u/dir%02u/set%02u", folder / 100, (folder / 10) % 10,
                folder % 10);
  return root / name;
}

std::vector<uint8_t> randomData(Random& random, uint32_t size) {
  std::vector<uint8_t> bytes(size);
  uint64_t word = 0;
  for (uint32_t i = 0; i < size; ++i) {
    if (i % 8 == 0) word = random.next();
    bytes[i] = static_cast<uint8_t>(word >> (8 * (i % 8)));
  }
  return bytes;
}

std::vector<uint8_t> randomText(Random& random, uint32_t size) {
  static const char* const kWords[] = {"alpha", "report", "invoice", "meeting", "the",
                                       "data",  "backup", "summary", "of",      "and"};
  std::string text;
  while (text.size() < size) {
    text += kWords[random.next() % 10];
    text += random.chance(100) ? "\r\n" : " ";
  }
  text.resize(size);
  return textBytes(text);
}

// A non-PE file: mostly small, some text, some binary, a few with "MZ" only.
std::vector<uint8_t> dataFile(Random& random) {
  unsigned bucket = static_cast<unsigned>(random.next() % 100);
  uint32_t size = bucket < 70 ? random.range(0, 2048)
                  : bucket < 95 ? random.range(2049, 8192)
                                : random.range(8193, 16384);
  unsigned kind = static_cast<unsigned>(random.next() % 10);
  if (kind < 4) return randomText(random, size);
  std::vector<uint8_t> bytes = randomData(random, size);
  if (kind == 9 && size >= 2) {  // a DOS stub without a PE header behind it
    bytes[0] = 'M';
    bytes[1] = 'Z';
  }
  return bytes;
}

// A clean PE file whose size no rule-1 record has.
std::vector<uint8_t> cleanPeFile(Random& random, const std::vector<int32_t>& sizes, uint32_t seed) {
  uint32_t size = random.chance(100) ? random.range(20 * 1024, kSmallRecordLimit)
                                     : random.range(0x600, 16 * 1024);
  while (std::binary_search(sizes.begin(), sizes.end(), static_cast<int32_t>(size))) ++size;
  return buildCleanSample(size, seed);
}

int makeCorpus(const fs::path& root, uint32_t count, bool clean) {
  const std::vector<const SignatureRecord*> records = buildableRecords();
  const std::vector<int32_t> sizes = exactSizes();
  if (records.empty()) {
    std::fprintf(stderr, "drenvalisk-make-samples: the table has no small records\n");
    return 1;
  }
  Random random(kCorpusSeed);
  uint32_t peFiles = 0, exactFiles = 0, infectedFiles = 0;
  uint64_t totalBytes = 0;
  for (uint32_t i = 0; i < count; ++i) {
    char name[32];
    std::vector<uint8_t> bytes;
    // 15% PE files; 1 file in 200 a PE file of a record's exact size, and one
    // in eight of those carries the record's patterns.
    unsigned roll = static_cast<unsigned>(random.next() % 1000);
    if (roll < 5) {
      const SignatureRecord& record = *records[random.next() % records.size()];
      bool infected = random.chance(125) && !clean;  // the same draws either way
      bytes = infected ? buildInfectedSample(record)
                       : buildCleanSample(static_cast<uint32_t>(record.fileSize), i);
      ++peFiles;
      ++exactFiles;
      infectedFiles += infected;
      std::snprintf(name, sizeof name, "app%06u.exe", i);
    } else if (roll < 150) {
      bytes = cleanPeFile(random, sizes, i);
      ++peFiles;
      std::snprintf(name, sizeof name, random.chance(300) ? "lib%06u.dll" : "prog%06u.exe", i);
    } else {
      bytes = dataFile(random);
      std::snprintf(name, sizeof name, "file%06u.%s", i, bytes.size() % 3 ? "dat" : "txt");
    }
    totalBytes += bytes.size();
    if (!writeFile(corpusFolder(root, i) / name, bytes)) return 1;
  }
  std::fprintf(stderr,
               "corpus %s: %u files, %u PE (%u of exact signature sizes, %u infected), %.1f MB\n",
               root.c_str(), count, peFiles, exactFiles, infectedFiles, totalBytes / 1048576.0);
  return 0;
}

int usage() {
  std::fputs("usage: drenvalisk-make-samples demo DIR\n"
             "       drenvalisk-make-samples corpus DIR N [--clean]\n"
             "       drenvalisk-make-samples installation DIR KEYS\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "demo") == 0) return makeDemo(argv[2]);
  const bool clean = argc == 5 && std::strcmp(argv[4], "--clean") == 0;
  if ((argc == 4 || clean) && std::strcmp(argv[1], "corpus") == 0) {
    char* end = nullptr;
    unsigned long count = std::strtoul(argv[3], &end, 10);
    if (!*argv[3] || *end || count == 0 || count > 10000000ul) return usage();
    return makeCorpus(argv[2], static_cast<uint32_t>(count), clean);
  }
  if (argc == 4 && std::strcmp(argv[1], "installation") == 0) {
    char* end = nullptr;
    unsigned long keys = std::strtoul(argv[3], &end, 10);
    if (!*argv[3] || *end || keys > 1000000ul) return usage();
    if (plantInstallation(std::string(argv[2]) + "/Windows", static_cast<int>(keys))) return 0;
    std::fprintf(stderr, "drenvalisk-make-samples: cannot write the hives under %s\n", argv[2]);
    return 1;
  }
  return usage();
}
