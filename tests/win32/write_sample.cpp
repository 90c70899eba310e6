// write-sample PATH [clean | runnable PROGRAM]: writes a synthetic PE file
// carrying the patterns of the first built-in signature record (or, with
// "clean", one carrying none) and prints the detection name a scan reports
// for it. With "runnable", PATH becomes a copy of PROGRAM (the sleeper)
// rewritten to carry the patterns of the first record it can fit, which still
// runs; its record's name is printed.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/signature_table.h"
#include "samples/pe_builder.h"
#include "samples/runnable_sample.h"

namespace {

void printName(const SignatureRecord& record) {
  std::printf("%.*s\n", static_cast<int>(strnlen(record.name, sizeof record.name)), record.name);
}

}  // namespace

int main(int argc, char** argv) {
  const bool runnable = argc > 3 && std::strcmp(argv[2], "runnable") == 0;
  if (argc < 2 || (argc > 2 && !runnable && std::strcmp(argv[2], "clean") != 0)) {
    std::fputs("usage: write-sample PATH [clean | runnable PROGRAM]\n", stderr);
    return 2;
  }
  const SignatureRecord* record = &signatureTable()[0];
  const bool clean = argc > 2 && !runnable;
  std::vector<uint8_t> bytes;
  if (runnable) {
    std::ifstream in(argv[3], std::ios::binary);
    std::vector<uint8_t> program((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    int index = firstRunnableRecord(program, signatureTable(), &bytes);
    if (index < 0) {
      std::fprintf(stderr, "write-sample: no built-in record fits %s\n", argv[3]);
      return 1;
    }
    record = &signatureTable()[index];
  } else {
    bytes = clean ? buildCleanSample(38400, 7) : buildInfectedSample(*record);
  }
  if (bytes.empty() || !writeHostFile(argv[1], bytes)) {
    std::fprintf(stderr, "write-sample: cannot write %s\n", argv[1]);
    return 1;
  }
  if (!clean) printName(*record);
  return 0;
}
