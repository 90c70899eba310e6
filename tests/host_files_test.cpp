// The native platform's files: Windows semantics over real temporary folders
// (listing order, search patterns, letter case, the drive root as a boundary,
// read-only files).
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/files.h"
#include "tests/support/scan_fixture.h"

class HostFilesTest : public ScanFixture {
 protected:
  void TearDown() override {
    EXPECT_EQ(simMachine().openSearches, 0) << "a search handle was left open";
    ScanFixture::TearDown();
  }

  // Names a directory search returns, in order; empty when it cannot start.
  std::vector<std::string> list(const std::string& pattern) {
    std::vector<std::string> names;
    FindData data;
    Handle search = findFirstFile(pattern.c_str(), &data);
    if (search == PLATFORM_INVALID_HANDLE) return names;
    do names.push_back(data.name);
    while (findNextFile(search, &data));
    findClose(search);
    return names;
  }

  FindData entry(const std::string& path) {
    FindData data = {};
    Handle search = findFirstFile(path.c_str(), &data);
    EXPECT_NE(search, PLATFORM_INVALID_HANDLE) << path;
    if (search != PLATFORM_INVALID_HANDLE) findClose(search);
    return data;
  }
};

TEST_F(HostFilesTest, ListsDotEntriesFirstThenByUpperCasedName) {
  for (const char* name : {"b.txt", "A.txt", "_u", "Zeta", "10", "-dash", "!bang", "#hash", "a2"})
    writeText(std::string("C:\\dir\\") + name, "x");
  makeFolder("C:\\dir\\Middle");

  const std::vector<std::string> expected = {".",     "..",    "!bang", "#hash", "-dash", "10",
                                             "A.txt", "a2",    "b.txt", "Middle", "Zeta", "_u"};
  EXPECT_EQ(list("C:\\dir\\*.*"), expected);
}

TEST_F(HostFilesTest, DriveRootHasNoDotEntries) {
  writeText("C:\\file.txt", "x");
  makeFolder("C:\\Folder");
  EXPECT_EQ(list("C:\\*.*"), (std::vector<std::string>{"file.txt", "Folder"}));
  EXPECT_EQ(list("c:\\*"), (std::vector<std::string>{"file.txt", "Folder"}));
}

TEST_F(HostFilesTest, SearchPatterns) {
  for (const char* name : {"readme", "readme.txt", "readme.tar.gz", "readmes.txt", "other.exe",
                           "X.EXE", "read_e.txt"})
    writeText(std::string("C:\\p\\") + name, "x");
  makeFolder("C:\\p\\readme.d");

  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"*.*",
       {".", "..", "other.exe", "readme", "readme.d", "readme.tar.gz", "readme.txt", "readmes.txt",
        "read_e.txt", "X.EXE"}},
      {"*",
       {".", "..", "other.exe", "readme", "readme.d", "readme.tar.gz", "readme.txt", "readmes.txt",
        "read_e.txt", "X.EXE"}},
      {"readme.*", {"readme", "readme.d", "readme.tar.gz", "readme.txt"}},
      {"README.*", {"readme", "readme.d", "readme.tar.gz", "readme.txt"}},
      {"*.exe", {"other.exe", "X.EXE"}},
      {"read?e.txt", {"readme.txt", "read_e.txt"}},
      {"README.TXT", {"readme.txt"}},  // a plain name: the stored spelling comes back
      {"nothing.*", {}},
      {"missing.txt", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list(std::string("C:\\p\\") + c.pattern), c.names) << c.pattern;
  }
  EXPECT_TRUE(list("C:\\nofolder\\*.*").empty());
  EXPECT_TRUE(list("Q:\\*.*").empty());  // not a mapped drive
}

TEST_F(HostFilesTest, PathsResolveIgnoringLetterCase) {
  writeText("C:\\Dir\\Sub\\File.Txt", "content");

  EXPECT_EQ(hostPathOf("C:\\DIR\\sub\\FILE.TXT"), root_ + "/Dir/Sub/File.Txt");
  EXPECT_EQ(hostPathOf("c:/dir/SUB/file.txt"), root_ + "/Dir/Sub/File.Txt");
  // Below the first missing component the path is kept as written.
  EXPECT_EQ(hostPathOf("C:\\dir\\New\\X.txt"), root_ + "/Dir/New/X.txt");
  EXPECT_EQ(fileAccess("C:\\DIR\\SUB\\FILE.TXT", 0), 0);
  EXPECT_NE(fileAccess("C:\\DIR\\SUB\\OTHER.TXT", 0), 0);
  EXPECT_EQ(hostPathOf("Q:\\x"), "");
  EXPECT_EQ(hostPathOf("C"), "");
  EXPECT_EQ(hostPathOf(""), "");

  FindData data = entry("C:\\DIR\\SUB\\FILE.TXT");
  EXPECT_STREQ(data.name, "File.Txt");
  EXPECT_EQ(data.sizeLow, 7u);
  EXPECT_EQ(data.sizeHigh, 0u);
}

TEST_F(HostFilesTest, DotDotStopsAtTheDriveRoot) {
  writeText("C:\\marker.txt", "m");

  EXPECT_EQ(hostPathOf("C:\\..\\..\\etc\\passwd"), root_ + "/etc/passwd");
  EXPECT_EQ(hostPathOf("C:\\a\\..\\..\\..\\b"), root_ + "/b");
  EXPECT_EQ(hostPathOf("C:\\.\\x\\.\\y"), root_ + "/x/y");
  EXPECT_EQ(list("C:\\..\\*.*"), std::vector<std::string>{"marker.txt"});
  EXPECT_EQ(list("C:\\..\\..\\marker.*"), std::vector<std::string>{"marker.txt"});
}

TEST_F(HostFilesTest, AttributesFollowTheHostFile) {
  writeText("C:\\f\\plain.bin", std::string(5000, 'x'));
  writeText("C:\\f\\locked.bin", "l");
  makeFolder("C:\\f\\folder");
  ASSERT_EQ(chmod(host("C:\\f\\locked.bin").c_str(), 0444), 0);
  ASSERT_EQ(symlink("folder", host("C:\\f\\link").c_str()), 0);

  FindData plain = entry("C:\\f\\plain.bin");
  EXPECT_EQ(plain.attributes, kAttrArchive);
  EXPECT_EQ(plain.sizeLow, 5000u);
  EXPECT_EQ(entry("C:\\f\\locked.bin").attributes, kAttrArchive | kAttrReadOnly);
  FindData folder = entry("C:\\f\\folder");
  EXPECT_EQ(folder.attributes & (kAttrDirectory | kAttrReparsePoint), kAttrDirectory);
  EXPECT_EQ(folder.sizeLow, 0u);
  EXPECT_EQ(entry("C:\\f\\link").attributes & (kAttrDirectory | kAttrReparsePoint),
            kAttrDirectory | kAttrReparsePoint);
}

TEST_F(HostFilesTest, ReadOnlyFileIsNotDeletedUntilItsAttributesAreReset) {
  writeText("C:\\r\\file.exe", "r");
  ASSERT_TRUE(setFileAttributes("C:\\R\\FILE.EXE", kAttrReadOnly));
  EXPECT_EQ(entry("C:\\r\\file.exe").attributes & kAttrReadOnly, kAttrReadOnly);

  EXPECT_FALSE(deleteFile("C:\\r\\file.exe"));
  EXPECT_TRUE(exists("C:\\r\\file.exe"));

  ASSERT_TRUE(setFileAttributes("C:\\r\\file.exe", kAttrArchive));
  EXPECT_EQ(entry("C:\\r\\file.exe").attributes & kAttrReadOnly, 0u);
  EXPECT_TRUE(deleteFile("C:\\R\\File.exe"));
  EXPECT_FALSE(exists("C:\\r\\file.exe"));

  EXPECT_FALSE(deleteFile("C:\\r\\file.exe"));  // already gone
  EXPECT_FALSE(deleteFile("C:\\r"));            // a folder
  EXPECT_FALSE(setFileAttributes("C:\\r\\missing.exe", kAttrArchive));
}

TEST_F(HostFilesTest, DriveTypesAndSearchHandleCount) {
  EXPECT_EQ(getDriveType("C:\\"), kDriveFixed);
  EXPECT_EQ(getDriveType("c:\\"), kDriveFixed);
  EXPECT_EQ(getDriveType("D:\\"), kDriveNoRootDir);
  EXPECT_EQ(getDriveType(""), kDriveNoRootDir);

  writeText("C:\\h\\one.txt", "1");
  FindData data;
  Handle search = findFirstFile("C:\\h\\one.txt", &data);
  ASSERT_NE(search, PLATFORM_INVALID_HANDLE);
  EXPECT_EQ(simMachine().openSearches, 1);
  EXPECT_FALSE(findNextFile(search, &data));
  findClose(search);
  EXPECT_EQ(simMachine().openSearches, 0);
  EXPECT_EQ(findFirstFile("C:\\h\\two.txt", &data), PLATFORM_INVALID_HANDLE);
  EXPECT_EQ(simMachine().openSearches, 0);
}

// The walker lists a folder twice in a row; the second listing may be served
// from the first, but never once anything changed in between. Each listing
// below is fresh and kept for reuse by the next one.
TEST_F(HostFilesTest, RepeatedListingSeesEveryChange) {
  writeText("C:\\d\\a.txt", "a");
  writeText("C:\\d\\b.txt", "b");
  EXPECT_EQ(list("C:\\d\\*.*"), (std::vector<std::string>{".", "..", "a.txt", "b.txt"}));
  ASSERT_TRUE(deleteFile("C:\\d\\a.txt"));  // through the platform
  EXPECT_EQ(list("C:\\d\\*.*"), (std::vector<std::string>{".", "..", "b.txt"}));
  writeText("C:\\d\\c.txt", "c");  // behind the platform's back
  EXPECT_EQ(list("C:\\d\\*.*"), (std::vector<std::string>{".", "..", "b.txt", "c.txt"}));
  // An attribute change leaves the folder's own time alone.
  ASSERT_TRUE(setFileAttributes("C:\\d\\b.txt", kAttrReadOnly));
  FindData data;
  Handle search = findFirstFile("C:\\d\\*.*", &data);
  ASSERT_NE(search, PLATFORM_INVALID_HANDLE);
  while (std::string(data.name) != "b.txt" && findNextFile(search, &data)) {
  }
  findClose(search);
  EXPECT_TRUE(data.attributes & kAttrReadOnly);
  // Another drive mapping is another folder, even under the same name.
  mapDrive('C');
  EXPECT_EQ(list("C:\\d\\*.*"), std::vector<std::string>{});
}
