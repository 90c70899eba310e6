// Writes the starting inputs of the fuzz targets: a few well-formed files of
// each kind, so every run begins past the format checks.
// Usage: make_seeds DIR   (writes DIR/pe_matcher, DIR/uu_matcher, DIR/wininit, DIR/perf_data,
//                          DIR/walker_pattern, DIR/hive)
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "samples/byte_fields.h"
#include "samples/hive_builder.h"
#include "samples/pe_builder.h"
#include "tests/support/perf_data_builder.h"

namespace {

std::string g_root;

void write(const std::string& target, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::string folder = g_root + "/" + target;
  mkdir(folder.c_str(), 0755);
  if (!writeHostFile(folder + "/" + name, bytes)) {
    std::fprintf(stderr, "make_seeds: cannot write %s/%s\n", folder.c_str(), name.c_str());
    std::exit(1);
  }
}

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> peWithSections(uint32_t size, unsigned sections) {
  PeImage image;
  image.fileSize = size;
  for (unsigned i = 0; i < sections; ++i)
    image.sections.push_back(PeSection{0x1000 + 0x200 * i, 0x200, 0x400 + 0x200 * i, 0x200});
  return PeBuilder(image).bytes();
}

void peSeeds() {
  write("pe_matcher", "no-sections", peWithSections(1024, 0));
  write("pe_matcher", "one-section", peWithSections(2048, 1));
  write("pe_matcher", "twenty-sections", peWithSections(6144, 20));
  write("pe_matcher", "twenty-one-sections", peWithSections(6144, 21));
  // The patterns of the target's entry-point record, placed where it looks.
  PeImage image;
  image.fileSize = 4096;
  image.entryPoint = 0x1100;
  image.sections.push_back(PeSection{0x1000, 0x1000, 0x400, 0xC00});
  PeBuilder builder(image);
  builder.placeAtRva(0x1100, reinterpret_cast<const uint8_t*>("ENTRYPOINTPATTERN-01"), 20);
  builder.placeAtRva(0x1140, reinterpret_cast<const uint8_t*>("SECONDPATTERN-AT-040"), 20);
  write("pe_matcher", "entry-point-patterns", builder.bytes());
  PeImage noMz;
  noMz.fileSize = 1024;
  noMz.dosSignature = false;
  noMz.headerOffset = 0x40;
  write("pe_matcher", "no-dos-signature", PeBuilder(noMz).bytes());
}

// Eight control bytes (see uu_matcher_fuzz.cpp), then the file.
std::vector<uint8_t> uuSeed(std::vector<uint8_t> control, const std::string& text) {
  control.insert(control.end(), text.begin(), text.end());
  return control;
}

void uuSeeds() {
  std::string lines = "begin 644 photo.jpg\n";
  for (int i = 0; i < 120; ++i) lines += "M9V]Z>2!H96%D(&QI;F4@;V8@=&AE(&5N8V]D960@9FEL92!W:71H(&1A\n";
  lines += "=&%I;\"!T86EL\n`\nend\n";
  write("uu_matcher", "short-head-match",
        uuSeed({0, 0, 0, 1, 13, 2, 0, 1}, "begin 644 a\nM9V]Z>2!H\n96%D\nend\n"));
  write("uu_matcher", "long-tail-match", uuSeed({3, 0, 1, 0, 3, 2, 0, 0}, lines));
  write("uu_matcher", "fixed-position", uuSeed({4, 0, 0, 2, 20, 1, 1, 2}, lines.substr(6)));
  write("uu_matcher", "capitals", uuSeed({0, 0, 0, 0, 0, 3, 2, 0}, "BEGIN 600 x\nend\n"));
}

void wininitSeeds() {
  const uint8_t unlimited = 0xFF;
  auto seed = [&](uint8_t control, const std::string& text) {
    std::vector<uint8_t> bytes{control};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
  };
  write("wininit", "section-then-other",
        seed(unlimited, "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\A.EXE\r\n[other]\r\nk=v\r\n"));
  write("wininit", "section-last-lower", seed(unlimited, "[Boot]\r\n[ReNaMe]\r\nNUL=C:\\B.EXE"));
  write("wininit", "no-section", seed(unlimited, "; comment\n[settings]\nk=v\n"));
  write("wininit", "empty", seed(unlimited, ""));
  write("wininit", "short-write", seed(2, "[rename]\r\n[next]\r\n"));
  write("wininit", "long-line", seed(unlimited, "[rename]\r\n" + std::string(700, 'x') + "[x]\r\n[y]\r\n"));
}

// Four bytes of counter index, one split byte, the name list, the data block.
void perfSeeds() {
  // Split after "process\0": "\0784" would read as the octal escape "\07".
  const std::string names = std::string("230\0process\0" "784\0id process\0", 27) + '\0';
  auto seed = [&](const perftest::ProcessObject& object) {
    std::vector<uint8_t> bytes(5, 0);
    perftest::put32(bytes, 0, perftest::kIdProcessCounter);
    bytes[4] = static_cast<uint8_t>(names.size());
    bytes.insert(bytes.end(), names.begin(), names.end());
    std::vector<uint8_t> block = perftest::buildPerfData(object);
    bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
  };
  perftest::ProcessObject three;
  three.instances = {{"Idle", 0}, {"explorer", 1204}, {"averyveryverylongname", 880}};
  write("perf_data", "three-processes", seed(three));
  perftest::ProcessObject none;
  write("perf_data", "no-instances", seed(none));
}

// A mode byte (1: memory-check mode) and a pattern, among them patterns that
// fill the 260-byte buffers with their last "." near the end.
void walkerSeeds() {
  auto seed = [](char mode, const std::string& pattern) {
    std::vector<uint8_t> bytes{static_cast<uint8_t>(mode)};
    bytes.insert(bytes.end(), pattern.begin(), pattern.end());
    return bytes;
  };
  write("walker_pattern", "drive-root", seed(0, "C:\\*.*"));
  write("walker_pattern", "folder", seed(0, "C:\\a.b\\*.*"));
  write("walker_pattern", "image-beside-folder", seed(1, "C:\\a.b\\x.exe"));
  write("walker_pattern", "long-image-ending-in-dot", seed(1, "C:\\" + std::string(255, 'a') + "."));
  write("walker_pattern", "long-pattern-ending-in-dot", seed(0, "C:\\" + std::string(255, 'a') + "."));
}

}  // namespace

// A hive's bytes damaged in each way the hive checks name: cut short, a
// header checksum that does not match, a bin out of place, a cell reaching
// outside its bin, the root key's subkey list pointing past the data.
void damagedHiveSeeds(const std::string& name, const std::vector<uint8_t>& hive) {
  constexpr size_t kBins = 0x1000;
  if (hive.size() < kBins + 0x2000) return;
  const uint32_t firstBin = get32(hive, kBins + 0x08);
  std::vector<uint8_t> cut(hive.begin(), hive.begin() + kBins + (hive.size() - kBins) / 2 / 4096 * 4096);
  write("hive", name + "-cut-short", cut);
  std::vector<uint8_t> checksum = hive;
  checksum[0x10] ^= 1;
  write("hive", name + "-checksum", checksum);
  if (kBins + firstBin + 0x24 <= hive.size()) {
    std::vector<uint8_t> bin = hive;
    bin[kBins + firstBin] = 'x';
    write("hive", name + "-bin-out-of-place", bin);
    std::vector<uint8_t> cell = hive;
    put32(cell, kBins + firstBin + 0x20, 0x7FFFFFF8);
    write("hive", name + "-cell-outside-bin", cell);
  }
  std::vector<uint8_t> list = hive;
  put32(list, kBins + get32(hive, 0x24) + 4 + 0x1C, 0x7FFFFFF0);
  write("hive", name + "-subkey-list-outside", list);
}

// An empty hive, and the two hives of a planted installation with start-up
// values, an uninstall entry and a pending deletion, each also damaged.
void hiveSeeds() {
  write("hive", "empty", minimalHive());
  char folder[] = "/tmp/drenvalisk-seeds-XXXXXX";
  if (!mkdtemp(folder)) std::exit(1);
  const std::string windows = std::string(folder) + "/Windows";
  if (!plantInstallation(windows, 20)) std::exit(1);
  const std::string config = windows + "/System32/config/";
  {
    HiveBuilder software(config + "SOFTWARE", false);
    software.setString("Microsoft\\Windows\\CurrentVersion\\Run", "Evil", "\"C:\\x\\evil.exe\" -q");
    software.setString("Microsoft\\Windows\\CurrentVersion\\Run", "Env", "%SystemRoot%\\e.exe",
                       kHiveExpandSz);
    software.setString("Microsoft\\Windows\\CurrentVersion\\Uninstall\\rhcjg7j0e38v",
                       "UninstallString", "C:\\x\\uninstall.exe");
    HiveBuilder system(config + "SYSTEM", false);
    system.setMultiString("ControlSet001\\Control\\Session Manager", "PendingFileRenameOperations",
                          {"\\??\\C:\\old.tmp", ""});
    if (!software.commit() || !system.commit()) std::exit(1);
  }
  for (const char* name : {"SOFTWARE", "SYSTEM"}) {
    std::FILE* file = std::fopen((config + name).c_str(), "rb");
    std::vector<uint8_t> bytes;
    for (int c; file && (c = std::fgetc(file)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    if (file) std::fclose(file);
    write("hive", name, bytes);
    damagedHiveSeeds(name, bytes);
  }
  std::string command = std::string("rm -rf '") + folder + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "make_seeds: could not remove %s\n", folder);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_seeds DIR\n", stderr);
    return 2;
  }
  g_root = argv[1];
  mkdir(g_root.c_str(), 0755);
  peSeeds();
  uuSeeds();
  wininitSeeds();
  perfSeeds();
  walkerSeeds();
  hiveSeeds();
  return 0;
}
