// Report lines the tests expect, written out once for the native and the
// Win32 suites.
#pragma once
#include <string>
#include <vector>

// The statistics block that closes every scan's report.
inline std::vector<std::string> statisticsBlock(int scanned, int infected, int removed) {
  std::vector<std::string> block;
  if (infected > 0) block.push_back(" ");
  block.push_back("Scanning statistics");
  block.push_back("------------------------------");
  block.push_back("Total files scanned\t\t:  " + std::to_string(scanned));
  block.push_back("Total files infected\t\t:  " + std::to_string(infected));
  block.push_back("Total files removed\t\t:  " + std::to_string(removed));
  return block;
}
