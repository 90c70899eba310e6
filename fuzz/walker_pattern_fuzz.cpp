// Fuzz target: the directory walker on arbitrary search patterns, in the drive
// walk and in memory-check mode, over a small fixed tree on drive C:. The
// patterns reach the walker's 260-byte path buffers at every length and with
// the last "." anywhere; AddressSanitizer reports any write past them.
// Checked: the walk returns one of its documented results, and every status
// text fits the label's width.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/walker.h"
#include "fuzz/fuzz_support.h"

namespace {

// Folders and files whose names share stems and dots, so patterns such as
// "C:\a.b\x.*" or "C:\a.*" list something in both passes.
void plantTree() {
  static bool planted = false;
  if (planted) return;
  planted = true;
  const std::string root = fuzz::driveRoot();
  for (const char* folder : {"/a.b", "/a.b/x.old", "/a.b/deep", "/Program Files", "/nodot"})
    mkdir((root + folder).c_str(), 0755);
  for (const char* file : {"/a.exe", "/a.b/x.exe", "/a.b/x.old/y.txt", "/a.b/deep/z",
                           "/Program Files/p.dll", "/nodot/f"})
    fuzz::writeHost(root + file, "MZ", 2);
}

void checkStatus(const char* status) {
  if (std::strlen(status) > 60) fuzz::fail("a status text is wider than the label");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 320) return 0;
  fuzz::setUpMachine();
  plantTree();
  bindReportChannel(ReportSink{[](const char*) {}, checkStatus});
  g_session.memoryCheckMode = data[0] & 1;
  g_session.actionCode = kActionReport;

  // The pattern as a C string: at most the bytes up to the first NUL.
  std::string pattern(reinterpret_cast<const char*>(data + 1), size - 1);
  pattern = pattern.c_str();
  int result = walkDirectory(pattern.c_str());
  if (result < -1) fuzz::fail("the walk returned an undocumented result");
  return 0;
}
