// Fuzz target: adding the "[rename]" entry to an arbitrary existing wininit.ini.
// The first input byte may set a write budget so that writes fall short; the
// rest is the ini file. Checked: on success the file holds exactly its old
// bytes plus the entry (with a line break and the section header appended
// when they are missing); on failure it holds its old bytes.
#include <cstdint>
#include <string>

#include "engine/restart_removal.h"
#include "fuzz/fuzz_support.h"
#include "tests/sim/sim_machine.h"

namespace {

const char* const kKey = "NUL";
const char* const kValue = "C:\\PROGRA~1\\COMMON~1\\UPDATER.EXE";

bool startsWith(const std::string& text, size_t at, const std::string& part) {
  return text.compare(at, part.size(), part) == 0;
}

// True when `result` is `original` with `entry` inserted before a section
// header at the start of a line, or appended with the allowed additions.
bool holdsOriginalPlusEntry(const std::string& original, const std::string& result,
                            const std::string& entry) {
  if (result.size() == original.size() + entry.size()) {
    size_t at = 0;
    while (at < original.size() && original[at] == result[at]) ++at;
    if (!startsWith(result, at, entry) || result.compare(at + entry.size(), std::string::npos,
                                                         original, at, std::string::npos) != 0)
      return false;
    return at == original.size() ||
           (original[at] == '[' && at > 0 && original[at - 1] == '\n');
  }
  if (!startsWith(result, 0, original)) return false;
  std::string added = result.substr(original.size());
  const bool brokenLast = !original.empty() && original.back() != '\n';
  const std::string lineBreak = brokenLast ? "\r\n" : "";
  return added == lineBreak + entry || added == lineBreak + "[rename]\r\n" + entry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  fuzz::setUpMachine();
  simMachine().windowsDirectory = "C:\\WINDOWS";
  simMachine().tempPath = "C:\\WINDOWS\\TEMP\\";
  const std::string windows = fuzz::driveRoot() + "/WINDOWS";
  mkdir(windows.c_str(), 0755);
  mkdir((windows + "/TEMP").c_str(), 0755);

  const std::string original(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string iniPath = windows + "/wininit.ini";
  fuzz::writeHost(iniPath, original.data(), original.size());
  if (data[0] < 64) simMachine().writeBudget = data[0] * 16;

  bool added = addWininitRename(kKey, kValue);
  const std::string result = fuzz::readHost(iniPath);
  const std::string entry = std::string(kKey) + "=" + kValue + "\r\n";

  if (simMachine().openFiles != 0) fuzz::fail("a file was left open");
  if (fuzz::readHost(windows + "/TEMP/wininit.ini") != original)
    fuzz::fail("the temporary copy does not hold the old content");
  if (added) {
    if (!holdsOriginalPlusEntry(original, result, entry))
      fuzz::fail("the rewritten file is not the old content plus the entry");
  } else {
    if (data[0] >= 64) fuzz::fail("failed without a short write");
    if (result != original) fuzz::fail("a failed rewrite did not restore the old content");
  }
  return 0;
}
