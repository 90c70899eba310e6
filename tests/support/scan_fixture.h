// A fresh machine (tests/support/test_machine.h) and scan session per test: a
// temporary folder mapped as drive C:, the report channel recorded.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/report_channel.h"
#include "engine/session.h"
#include "engine/signature_record.h"
#include "platform/linux/drive_map.h"

class ScanFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Host path of a Windows path on C: ("C:\a\b.exe" -> <temp>/a/b.exe).
  std::string host(const std::string& windowsPath) const;
  // Creates a file (and its folders) at a Windows path on C:.
  void writeFile(const std::string& windowsPath, const std::vector<uint8_t>& bytes) const;
  void writeText(const std::string& windowsPath, const std::string& text) const;
  void makeFolder(const std::string& windowsPath) const;
  bool exists(const std::string& windowsPath) const;
  std::string readText(const std::string& windowsPath) const;
  // Names a directory search (findFirstFile) returns, in order; empty when it
  // cannot start.
  static std::vector<std::string> list(const std::string& pattern);
  // Maps another drive letter onto a fresh temporary folder; returns it.
  std::string mapDrive(char letter);

  // A copy of the built-in table's record at `index`.
  static SignatureRecord builtInRecord(int index);

  static std::vector<std::string> lines;     // report lines, in order
  static std::vector<std::string> statuses;  // status texts, in order
  static std::vector<std::string> questions; // ConfirmBox texts
  static int confirmAnswer;                  // what ConfirmBox answers

  std::string root_;                 // host folder of C:
  std::vector<std::string> extraRoots_;
};
