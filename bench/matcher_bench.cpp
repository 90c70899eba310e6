// Google Benchmark of the file matcher on single files of a mapped temporary
// folder: a clean PE file as the walker offers it (its size rules it out) and
// as opened regardless, a clean file of a record's exact size, and an infected
// one in report mode.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "engine/pe_matcher.h"
#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_table.h"
#include "platform/linux/drive_map.h"
#include "samples/pe_builder.h"

namespace {

struct Folder {
  std::string root;
  long cleanSize = 0;
  long exactSize = 0;

  Folder() {
    char pattern[] = "/tmp/drenvalisk-bench-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    root = pattern;
    hostMapDrive('C', root);
    const SignatureRecord& record = signatureTable()[0];
    exactSize = record.fileSize;
    cleanSize = 16 * 1024;
    if (!writeHostFile(root + "/clean.exe", buildCleanSample(16 * 1024, 7)) ||
        !writeHostFile(root + "/exact.exe", buildCleanSample(record.fileSize, 8)) ||
        !writeHostFile(root + "/infected.exe", buildInfectedSample(record)))
      std::abort();
  }
  ~Folder() { std::system(("rm -rf '" + root + "'").c_str()); }
};

Folder& folder() {
  static Folder instance;
  return instance;
}

void prepareSession() {
  folder();
  resetScanSession();
  g_session.memoryCheckMode = 0;
  g_session.actionCode = kActionReport;
  g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
  bindReportChannel(ReportSink{[](const char*) {}, [](const char*) {}});
}

void run(benchmark::State& state, const char* path, long offeredLength) {
  prepareSession();
  for (auto _ : state)
    benchmark::DoNotOptimize(matchSignatureFile(kTrojanCheckName, path, offeredLength));
  state.SetItemsProcessed(state.iterations());
}

void BM_CleanPeAsOffered(benchmark::State& state) {
  run(state, "C:\\clean.exe", folder().cleanSize);
}
void BM_CleanPeOpened(benchmark::State& state) { run(state, "C:\\clean.exe", -1); }
void BM_ExactSizeClean(benchmark::State& state) {
  run(state, "C:\\exact.exe", folder().exactSize);
}
void BM_InfectedReport(benchmark::State& state) {
  run(state, "C:\\infected.exe", folder().exactSize);
}

BENCHMARK(BM_CleanPeAsOffered);
BENCHMARK(BM_CleanPeOpened);
BENCHMARK(BM_ExactSizeClean);
BENCHMARK(BM_InfectedReport);

}  // namespace

BENCHMARK_MAIN();
