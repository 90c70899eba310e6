// Fuzz target: the uuencoded-file matcher over arbitrary file contents.
// The first 8 input bytes shape the last record of an installed table and the
// run (action, a "begin" prefix); the rest is the file. The fixed records cover
// both regions, the search and the fixed-position methods, and a position past
// the tail text.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/signature_table.h"
#include "engine/uu_matcher.h"
#include "fuzz/fuzz_support.h"
#include "tests/sim/sim_machine.h"

namespace {

const char* const kPath = "C:\\mail.uue";
constexpr size_t kControlBytes = 8;

UuSignatureRecord makeRecord(const char* name, const char* pattern, int16_t region, int16_t method,
                             int16_t position) {
  UuSignatureRecord record;
  std::memset(&record, 0, sizeof record);
  std::strncpy(record.name, name, sizeof record.name - 1);
  record.patternLength = static_cast<uint16_t>(std::strlen(pattern));
  std::memcpy(record.pattern, pattern, record.patternLength);
  record.region = region;
  record.method = method;
  record.position = position;
  record.uuSizeRule = 18;
  return record;
}

UuSignatureRecord g_table[6];
constexpr int kVariable = 5;

int g_lines = 0;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_table[0] = makeRecord("W32/Fuzz.Head", "M9V]Z>2!H96%D", 0, 1, 0);
  // The first record ships scrambled; the matcher restores it on its first call.
  for (int i = 0; i < g_table[0].patternLength; ++i) g_table[0].pattern[i] ^= kUuPatternKey;
  g_table[1] = makeRecord("W32/Fuzz.Tail", "=&%I;\"!T86EL", 1, 1, 0);
  g_table[2] = makeRecord("W32/Fuzz.AtHead", "begin644", 0, 2, 0);
  g_table[3] = makeRecord("W32/Fuzz.AtTail", "end", 1, 0, 3);
  g_table[4] = makeRecord("W32/Fuzz.PastTail", "Q", 1, 0, 30000);
  useUuSignatureTable(g_table, 6);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kControlBytes) return 0;
  const uint8_t* control = data;
  const uint8_t* body = data + kControlBytes;
  const size_t bodySize = size - kControlBytes;

  fuzz::setUpMachine();
  bindReportChannel(ReportSink{[](const char*) { ++g_lines; }, [](const char*) {}});
  g_lines = 0;

  // The variable record: position, region, method, length, size rule, and a
  // pattern taken from the body so that it can be found.
  UuSignatureRecord& record = g_table[kVariable];
  std::memset(&record, 0, sizeof record);
  std::strcpy(record.name, "W32/Fuzz.Variable");
  record.position = static_cast<int16_t>(control[0] | (control[1] << 8));
  record.region = control[2] % 3;
  record.method = control[3] % 3;
  record.patternLength = control[4] % 101;
  const int16_t rules[] = {16, 17, 18, 0};
  record.uuSizeRule = rules[control[5] % 4];
  record.size = static_cast<int32_t>(bodySize) + (static_cast<int8_t>(control[7]) * 64);
  size_t from = static_cast<size_t>(control[7]) * 16;
  for (size_t i = 0; i < record.patternLength && from + i < bodySize; ++i)
    record.pattern[i] = body[from + i];

  std::string file;
  if (control[6] & 1) file = "begin 644 fuzz.dat\n";
  file.append(reinterpret_cast<const char*>(body), bodySize);
  const std::string hostPath = fuzz::driveRoot() + "/mail.uue";
  fuzz::writeHost(hostPath, file.data(), file.size());

  const bool remove = (control[6] & 2) != 0;
  g_session.actionCode = remove ? kActionDelete : kActionReport;
  int result = matchUuencodedFile(kTrojanCheckName, kPath);

  if (result != 0 && result != 1) fuzz::fail("result is neither 0 nor 1");
  if (simMachine().openFiles != 0) fuzz::fail("a file was left open");
  if (g_session.filesInfected != result) fuzz::fail("infected count disagrees with the result");
  const bool qualifies = file.size() >= 5 && strncasecmp(file.data(), "begin", 5) == 0;
  if (result && !qualifies) fuzz::fail("a file not starting with \"begin\" matched");
  if (result != g_lines) fuzz::fail("one line per match expected");
  const bool present = access(hostPath.c_str(), F_OK) == 0;
  if (result && remove) {
    if (present || g_session.filesRemoved != 1) fuzz::fail("a matched file was not removed");
  } else if (fuzz::readHost(hostPath) != file) {
    fuzz::fail("the file changed without being removed");
  }
  return 0;
}
