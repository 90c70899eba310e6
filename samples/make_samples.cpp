// drenvalisk-make-samples: writes harmless synthetic file trees for the demo
// and the corpus benchmark. Every byte comes from a fixed seed, so two runs
// with the same arguments write identical trees.
//
//   drenvalisk-make-samples demo DIR      a small tree with three infected samples
//   drenvalisk-make-samples corpus DIR N [--clean]
//                                         N files, about 40 a folder, three
//                                         levels deep; --clean leaves every
//                                         file uninfected
//   drenvalisk-make-samples deep DIR N [--clean]
//                                         the same files, about 20 a folder,
//                                         up to eight levels deep
//   drenvalisk-make-samples large DIR N   N larger files (about 52 KB each):
//                                         DIR/deep in the deep shape, and the
//                                         same files (hard links) in DIR/flat,
//                                         about 40 a folder, three levels deep
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

// Sizes of the larger files: 40,000 to 65,000 bytes, 52,500 on average.
constexpr uint32_t kLargeMin = 40000;
constexpr uint32_t kLargeMax = 65000;

// A non-PE file: mostly small, some text, some binary, a few with "MZ" only;
// `large`: of the larger files' sizes.
std::vector<uint8_t> dataFile(Random& random, bool large) {
  unsigned bucket = static_cast<unsigned>(random.next() % 100);
  uint32_t size = large         ? random.range(kLargeMin, kLargeMax)
                  : bucket < 70 ? random.range(0, 2048)
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
std::vector<uint8_t> cleanPeFile(Random& random, const std::vector<int32_t>& sizes, uint32_t seed,
                                 bool large) {
  uint32_t size = large               ? random.range(kLargeMin, kLargeMax)
                  : random.chance(100) ? random.range(20 * 1024, kSmallRecordLimit)
                                       : random.range(0x600, 16 * 1024);
  while (std::binary_search(sizes.begin(), sizes.end(), static_cast<int32_t>(size))) ++size;
  return buildCleanSample(size, seed);
}

// What a corpus holds, for the closing summary.
struct CorpusCounts {
  uint32_t files = 0, folders = 0, peFiles = 0, exactFiles = 0, infectedFiles = 0;
  uint64_t totalBytes = 0;
};

// What the files of a corpus are drawn from.
struct CorpusSource {
  std::vector<const SignatureRecord*> records;
  std::vector<int32_t> sizes;
  bool clean = false;  // no file carries a record's patterns
  bool large = false;  // files of about 52 KB
  std::vector<fs::path>* written = nullptr;  // when set, each file's path, in order
};

// Writes the i-th file of a corpus into `folder`. 15% PE files; 1 file in 200
// a PE file of a record's exact size, and one in eight of those carries the
// record's patterns.
bool writeCorpusFile(Random& random, uint32_t i, const fs::path& folder,
                     const CorpusSource& source, CorpusCounts& counts) {
  char name[32];
  std::vector<uint8_t> bytes;
  unsigned roll = static_cast<unsigned>(random.next() % 1000);
  if (roll < 5) {
    const SignatureRecord& record = *source.records[random.next() % source.records.size()];
    bool infected = random.chance(125) && !source.clean;  // the same draws either way
    bytes = infected ? buildInfectedSample(record)
                     : buildCleanSample(static_cast<uint32_t>(record.fileSize), i);
    ++counts.peFiles;
    ++counts.exactFiles;
    counts.infectedFiles += infected;
    std::snprintf(name, sizeof name, "app%06u.exe", i);
  } else if (roll < 150) {
    bytes = cleanPeFile(random, source.sizes, i, source.large);
    ++counts.peFiles;
    std::snprintf(name, sizeof name, random.chance(300) ? "lib%06u.dll" : "prog%06u.exe", i);
  } else {
    bytes = dataFile(random, source.large);
    std::snprintf(name, sizeof name, "file%06u.%s", i, bytes.size() % 3 ? "dat" : "txt");
  }
  ++counts.files;
  counts.totalBytes += bytes.size();
  if (source.written) source.written->push_back(folder / name);
  return writeFile(folder / name, bytes);
}

// The flat shape: about 40 files in each folder of the third level.
bool writeFlatCorpus(const fs::path& root, uint32_t count, Random& random,
                     const CorpusSource& source, CorpusCounts& counts) {
  for (uint32_t i = 0; i < count; ++i)
    if (!writeCorpusFile(random, i, corpusFolder(root, i), source, counts)) return false;
  counts.folders = (count + 39) / 40;
  return true;
}

constexpr unsigned kDeepLevels = 8;

// The deep shape, closer to a user's disk: every folder holds 10 to 30 files
// beside its subfolders, each folder above the eighth level has 1 to 5
// subfolders, and folders are filled breadth first until N files are written.
bool writeDeepCorpus(const fs::path& root, uint32_t count, Random& random,
                     const CorpusSource& source, CorpusCounts& counts) {
  static const char* const kStems[] = {"Data", "bin", "Project ", "cache"};
  Random shape(kCorpusSeed ^ 0xDEE9);  // folder sizes and fan-out
  struct Folder {
    fs::path path;
    unsigned level;
  };
  std::vector<Folder> queue = {{root, 1}};
  for (size_t next = 0; next < queue.size() && counts.files < count; ++next) {
    const Folder folder = queue[next];
    std::error_code ignored;
    fs::create_directories(folder.path, ignored);
    ++counts.folders;
    const uint32_t files = std::min(shape.range(10, 30), count - counts.files);
    for (uint32_t k = 0; k < files; ++k)
      if (!writeCorpusFile(random, counts.files, folder.path, source, counts)) return false;
    if (folder.level >= kDeepLevels) continue;
    const uint32_t subfolders = shape.range(1, 5);
    for (uint32_t k = 0; k < subfolders; ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "%s%02u", kStems[shape.next() % 4], k);
      queue.push_back({folder.path / name, folder.level + 1});
    }
  }
  return true;
}

int makeCorpus(const fs::path& root, uint32_t count, bool clean, bool deep) {
  CorpusSource source;
  source.records = buildableRecords();
  source.sizes = exactSizes();
  source.clean = clean;
  if (source.records.empty()) {
    std::fprintf(stderr, "drenvalisk-make-samples: the table has no small records\n");
    return 1;
  }
  Random random(kCorpusSeed);
  CorpusCounts counts;
  const bool written = deep ? writeDeepCorpus(root, count, random, source, counts)
                            : writeFlatCorpus(root, count, random, source, counts);
  if (!written) return 1;
  std::fprintf(stderr,
               "corpus %s: %u files in %u folders, %u PE (%u of exact signature sizes, "
               "%u infected), %.1f MB\n",
               root.c_str(), counts.files, counts.folders, counts.peFiles, counts.exactFiles,
               counts.infectedFiles, counts.totalBytes / 1048576.0);
  return 0;
}

// The larger files twice over: written in the deep shape under DIR/deep, then
// linked into the flat shape under DIR/flat, so both shapes hold the same
// bytes on the disk once.
int makeLargeCorpus(const fs::path& root, uint32_t count) {
  CorpusSource source;
  source.records = buildableRecords();
  source.sizes = exactSizes();
  source.large = true;
  std::vector<fs::path> written;
  source.written = &written;
  Random random(kCorpusSeed ^ 0x1A26E);
  CorpusCounts counts;
  if (source.records.empty() || !writeDeepCorpus(root / "deep", count, random, source, counts))
    return 1;
  for (uint32_t i = 0; i < written.size(); ++i) {
    const fs::path folder = corpusFolder(root / "flat", i);
    std::error_code error;
    fs::create_directories(folder, error);
    fs::create_hard_link(written[i], folder / written[i].filename(), error);
    if (error) {
      std::fprintf(stderr, "drenvalisk-make-samples: %s: %s\n", written[i].c_str(),
                   error.message().c_str());
      return 1;
    }
  }
  std::fprintf(stderr,
               "large corpus %s: %u files (deep: %u folders; flat: %u folders), %u PE "
               "(%u infected), %.1f MB\n",
               root.c_str(), counts.files, counts.folders, (counts.files + 39) / 40,
               counts.peFiles, counts.infectedFiles, counts.totalBytes / 1048576.0);
  return 0;
}

int usage() {
  std::fputs("usage: drenvalisk-make-samples demo DIR\n"
             "       drenvalisk-make-samples corpus DIR N [--clean]\n"
             "       drenvalisk-make-samples deep DIR N [--clean]\n"
             "       drenvalisk-make-samples large DIR N\n"
             "       drenvalisk-make-samples installation DIR KEYS\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "demo") == 0) return makeDemo(argv[2]);
  const bool clean = argc == 5 && std::strcmp(argv[4], "--clean") == 0;
  const bool deep = argc >= 2 && std::strcmp(argv[1], "deep") == 0;
  if ((argc == 4 || clean) && (deep || std::strcmp(argv[1], "corpus") == 0)) {
    char* end = nullptr;
    unsigned long count = std::strtoul(argv[3], &end, 10);
    if (!*argv[3] || *end || count == 0 || count > 10000000ul) return usage();
    return makeCorpus(argv[2], static_cast<uint32_t>(count), clean, deep);
  }
  if (argc == 4 && std::strcmp(argv[1], "large") == 0) {
    char* end = nullptr;
    unsigned long count = std::strtoul(argv[3], &end, 10);
    if (!*argv[3] || *end || count == 0 || count > 10000000ul) return usage();
    return makeLargeCorpus(argv[2], static_cast<uint32_t>(count));
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
