// Folder listings read ahead of the walk on a second thread: on a disk left
// unchanged for a while (where they are used) a scan reports exactly what it
// reports without them, a change made behind the platform's back after a
// folder was read ahead is still seen, and the run's own hive files stay out.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/linux/listing_read_ahead.h"
#include "tests/support/offline_fixture.h"

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class ReadAheadTest : public OfflineFixture {
 protected:
  void TearDown() override {
    stopListingReadAhead();
    OfflineFixture::TearDown();
  }

  // Stamps everything on C: as last changed an hour ago: listings read ahead
  // are used only for folders that have not changed for a few seconds.
  void ageDisk() const {
    const struct timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    std::vector<std::string> paths = {root_};
    for (const auto& entry : fs::recursive_directory_iterator(root_)) paths.push_back(entry.path());
    for (const std::string& path : paths)
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), hourAgo, AT_SYMLINK_NOFOLLOW), 0) << path;
  }

  // A whole scan of the disk in report mode: the paths it showed, in order,
  // its report lines and the note on links passed over.
  Names reportScan(bool readAhead) {
    lines.clear();
    statuses.clear();
    resetScanSession();
    std::strcpy(g_session.scanTarget, "!:");
    g_session.actionCode = kActionReport;
    g_session.reportWindow = reinterpret_cast<WindowHandle>(static_cast<uintptr_t>(1));
    prepareScanTarget({root_}, sizeof g_session.scanTarget);  // starts the reader
    if (!readAhead) stopListingReadAhead();
    runScan();
    Names outcome = statuses;
    outcome.insert(outcome.end(), lines.begin(), lines.end());
    outcome.push_back(scanEndNote());
    return outcome;
  }
};

// More folders than are ever read ahead at once, deep chains, names whose
// NTFS order is not their byte order, folders too deep for a 260-byte path,
// links and infected files spread over the tree, the last in the last folder.
TEST_F(ReadAheadTest, AScanOfALongUnchangedDiskReportsWhatItReportsWithoutReadingAhead) {
  if (!startListingReadAhead()) GTEST_SKIP() << "one processor: nothing is read ahead";
  const std::vector<uint8_t> infected = buildInfectedSample(builtInRecord(0));
  const Names tops = {"b", "A", "_x", "Z1", "a0", "Data", "zz", "[y]"};
  int made = 0;
  for (const std::string& top : tops) {
    for (int i = 0; i < 40; ++i) {
      std::string folder = "C:\\" + top + "\\Sub" + std::to_string(i % 7) + "x" + std::to_string(i);
      if (i % 9 == 0) folder += "\\deeper\\Deepest";
      writeText(folder + "\\readme.txt", "r");
      writeText(folder + "\\Notes" + std::to_string(i) + ".TXT", "n");
      if (++made % 13 == 0) writeFile(folder + "\\setup.exe", infected);
    }
  }
  std::string deep = "C:";
  for (int level = 0; level < 6; ++level) deep += "\\" + std::string(48, static_cast<char>('k' + level));
  writeText(deep + "\\past the limit.txt", "p");
  writeFile("C:\\[y]\\Sub6x39\\last.exe", infected);
  ASSERT_EQ(symlink(".", host("C:\\Data\\Application Data").c_str()), 0);
  ageDisk();

  const Names without = reportScan(false);
  const Names with = reportScan(true);
  EXPECT_EQ(with, without);
  EXPECT_EQ(std::count_if(without.begin(), without.end(),
                          [](const std::string& line) { return line.find("as per user") != std::string::npos; }),
            25);
  EXPECT_EQ(without.back(), "Links passed over (symbolic links and junctions, not followed): 1");
}

// The attributes the walk's listing of a folder gives a file.
uint32_t listedAttributes(const std::string& folder, const std::string& name) {
  FindData data;
  Handle search = findFirstFile((folder + "\\*.*").c_str(), &data);
  if (search == PLATFORM_INVALID_HANDLE) return 0;
  uint32_t attributes = 0;
  do {
    if (name == data.name) attributes = data.attributes;
  } while (findNextFile(search, &data));
  findClose(search);
  return attributes;
}

// A file added to a folder, the folder replaced by another as old, or a file
// made read-only by the platform (which leaves its folder's time alone), after
// the folder was read ahead: the walk sees the folder as it is.
TEST_F(ReadAheadTest, AFolderChangedAfterItWasReadAheadIsListedAsItIs) {
  for (const char* folder : {"C:\\a", "C:\\b", "C:\\bb", "C:\\c", "C:\\spare"})
    writeText(std::string(folder) + "\\first.txt", "1");
  writeText("C:\\spare\\other.txt", "o");
  ageDisk();
  if (!startListingReadAhead()) GTEST_SKIP() << "one processor: nothing is read ahead";
  ASSERT_EQ(list("C:\\*.*"), (Names{"a", "b", "bb", "c", "spare", "Windows"}));  // the reader goes on from here
  // Folders are read in order: once c is, a, b and bb are too. c can be
  // waited for only once it is next, which it soon is.
  ReadAheadListing c;
  for (long tries = 0; !c.expected && tries < 100000000; ++tries) c = takeReadAheadListing("C:\\c\\");
  ASSERT_TRUE(c.listing);

  writeText("C:\\a\\late.txt", "l");
  fs::rename(host("C:\\b"), host("C:\\old b"));
  fs::rename(host("C:\\spare"), host("C:\\b"));  // as old as the folder it replaces
  ASSERT_TRUE(setFileAttributes("C:\\bb\\first.txt", kAttrReadOnly));

  EXPECT_EQ(list("C:\\a\\*.*"), (Names{".", "..", "first.txt", "late.txt"}));
  EXPECT_EQ(list("C:\\b\\*.*"), (Names{".", "..", "first.txt", "other.txt"}));
  EXPECT_TRUE(listedAttributes("C:\\bb", "first.txt") & kAttrReadOnly);
}

// The backup and new hive files of a run are left out of its listings, read
// ahead or not, as long as the run's installation lives.
TEST_F(ReadAheadTest, TheRunsOwnHiveFilesStayOutOfListingsReadAhead) {
  ASSERT_TRUE(plantEvilRunValue(config("SOFTWARE")));
  plantInfected("C:\\Evil\\evil.exe");
  runScan();
  ASSERT_FALSE(backupOf("SOFTWARE").empty());
  ageDisk();
  if (!startListingReadAhead()) GTEST_SKIP() << "one processor: nothing is read ahead";

  ASSERT_FALSE(list("C:\\Windows\\System32\\*.*").empty());  // the reader goes on from here
  const Names listed = list("C:\\Windows\\System32\\config\\*.*");
  ASSERT_TRUE(std::find(listed.begin(), listed.end(), "SOFTWARE") != listed.end());
  for (const std::string& name : listed) EXPECT_EQ(name.find(".drenvalisk-"), std::string::npos) << name;
}
