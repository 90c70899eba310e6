// The committed files under res/ (signature tables, artwork), read by tests
// from the source tree.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sigtable_stats.h"

#ifndef DRENVALISK_SOURCE_DIR
#error "DRENVALISK_SOURCE_DIR must name the source tree"
#endif

// The bytes of res/NAME; a failure of the test when it cannot be read.
inline std::vector<uint8_t> readRes(const char* name) {
  std::vector<uint8_t> bytes;
  const std::string path = std::string(DRENVALISK_SOURCE_DIR) + "/res/" + name;
  EXPECT_TRUE(sigtable::readFile(path, bytes)) << path;
  return bytes;
}
