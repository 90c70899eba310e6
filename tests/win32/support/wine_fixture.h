// A scan session over the real Win32 platform layer, in a scratch folder
// C:\drvtest\<suite>_<test> of the throw-away Wine prefix. Report lines,
// statuses, questions and message boxes are recorded; questions are answered
// No, message boxes OK; pauses never sleep.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/signature_record.h"

// The Windows version the test script selected for this run (the
// DRENVALISK_WINE_VERSION variable: win98, nt40, win2k, winxp, win7), empty
// when the executable was started by hand.
std::string selectedWineVersion();

class WineScanFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Full path of a name inside the scratch folder.
  std::string path(const std::string& name) const;
  void writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const;
  void writeInfected(const std::string& name) const;
  void writeClean(const std::string& name, uint32_t seed = 7) const;
  void makeFolder(const std::string& name) const;
  bool exists(const std::string& name) const;

  // Scans the scratch folder (or `folder`, a full path) with `actionCode`.
  void scan(int actionCode, const std::string& folder = "");

  // The first built-in record and its detection name.
  static const SignatureRecord& infectedRecord();
  static std::string detectionName();

  static std::vector<std::string> lines;         // report lines, in order
  static std::vector<std::string> statuses;      // status texts, in order
  static std::vector<std::string> questions;     // ConfirmBox texts
  static std::vector<std::string> messageBoxes;  // messageBox texts

  std::string root_;  // the scratch folder, without a trailing backslash
};

// Whole-file helpers on Windows paths.
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& content);
// Deletes a file or a folder tree, and only one under C:\drvtest\.
void removeTree(const std::string& path);
