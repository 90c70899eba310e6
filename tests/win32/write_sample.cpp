// write-sample PATH [clean]: writes a synthetic PE file carrying the patterns
// of the first built-in signature record (or, with "clean", one carrying none)
// and prints the detection name a scan reports for it.
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/signature_table.h"
#include "samples/pe_builder.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: write-sample PATH [clean]\n", stderr);
    return 2;
  }
  const SignatureRecord& record = signatureTable()[0];
  bool clean = argc > 2 && std::strcmp(argv[2], "clean") == 0;
  std::vector<uint8_t> bytes = clean ? buildCleanSample(38400, 7) : buildInfectedSample(record);
  if (bytes.empty() || !writeHostFile(argv[1], bytes)) {
    std::fprintf(stderr, "write-sample: cannot write %s\n", argv[1]);
    return 1;
  }
  if (!clean) std::printf("%.*s\n", static_cast<int>(sizeof record.name), record.name);
  return 0;
}
