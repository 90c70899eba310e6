// The native platform's files: Windows semantics over real temporary folders
// (listing order, search patterns, letter case, the drive root as a boundary,
// read-only files, folders reached through kept handles, positioned reads).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/linux/linux_files.h"
#include "tests/support/scan_fixture.h"

class HostFilesTest : public ScanFixture {
 protected:
  void TearDown() override {
    EXPECT_EQ(linuxfs::openSearchCount(), 0) << "a search handle was left open";
    ScanFixture::TearDown();
  }

  // A file's bytes as the matchers read them; "" when it cannot be opened.
  std::string readThrough(const std::string& path) {
    FileDescriptor file(fileOpen(path.c_str(), kOpenReadBinary));
    if (!file.valid()) return "";
    std::string bytes(static_cast<size_t>(std::max(0L, fileLength(file.get()))), '\0');
    if (fileRead(file.get(), bytes.data(), static_cast<unsigned>(bytes.size())) !=
        static_cast<int>(bytes.size()))
      return "";
    return bytes;
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
  EXPECT_EQ(entry("C:\\f\\link").attributes, kAttrDirectory | kAttrReparsePoint);
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
  EXPECT_EQ(linuxfs::openSearchCount(), 1);
  EXPECT_FALSE(findNextFile(search, &data));
  findClose(search);
  EXPECT_EQ(linuxfs::openSearchCount(), 0);
  EXPECT_EQ(findFirstFile("C:\\h\\two.txt", &data), PLATFORM_INVALID_HANDLE);
  EXPECT_EQ(linuxfs::openSearchCount(), 0);
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

// A folder last modified long before it is listed is listed once for both
// of the walker's searches; a change behind the platform's back in between,
// or the folder replaced by an equally old one, is still seen.
TEST_F(HostFilesTest, RepeatedListingOfALongUnchangedFolderSeesEveryChange) {
  namespace fs = std::filesystem;
  using Names = std::vector<std::string>;
  // Stamps a folder as modified an hour ago.
  auto age = [this](const std::string& folder) {
    const struct timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, host(folder).c_str(), times, 0), 0);
  };
  writeText("C:\\old\\a.txt", "a");
  makeFolder("C:\\old\\sub");
  age("C:\\old");
  EXPECT_EQ(list("C:\\old\\*.*"), (Names{".", "..", "a.txt", "sub"}));
  EXPECT_EQ(list("C:\\old\\*.*"), (Names{".", "..", "a.txt", "sub"}));
  writeText("C:\\old\\b.txt", "b");  // behind the platform's back
  EXPECT_EQ(list("C:\\old\\*.*"), (Names{".", "..", "a.txt", "b.txt", "sub"}));
  fs::remove(host("C:\\old\\a.txt"));
  EXPECT_EQ(list("C:\\old\\*.*"), (Names{".", "..", "b.txt", "sub"}));

  // Replaced by another folder as old as it, after its first listing.
  writeText("C:\\other\\c.txt", "c");
  age("C:\\other");
  age("C:\\old");
  EXPECT_EQ(list("C:\\old\\*.*"), (Names{".", "..", "b.txt", "sub"}));
  fs::remove_all(host("C:\\old"));
  fs::rename(host("C:\\other"), host("C:\\old"));
  age("C:\\");
  EXPECT_EQ(list("C:\\old\\*.*"), (Names{".", "..", "c.txt"}));
  EXPECT_EQ(list("C:\\old\\*.*"), (Names{".", "..", "c.txt"}));
}

// NTFS lists by upper-cased name, byte by byte: only a to z change case, and
// bytes past 0x7F stand after every ASCII character whatever they are.
TEST_F(HostFilesTest, ListingOrderIsTheOrderOfUpperCasedNames) {
  const std::vector<std::string> mixed = {
      "file000120.dat", "FILE000121.DAT", "file000119.dat", "file0001200.dat", "file000120",
      "file000120.dat.bak", "report_2024_january_summary_final.txt",
      "REPORT_2024_JANUARY_SUMMARY_DRAFT.TXT", "[x]", "`quote", "{brace", "~tilde", "@at",
      "^caret", "_", "z", "Z1", "0", "9z", "x\xC1y", "x\xE1y", "x\xFAy", "caf\xC3\xA9"};
  const std::vector<std::string> shared = {"setup_part_0001_of_0003.bin", "SETUP_PART_0002.BIN",
                                           "setup_part_0001_of_0002.bin", "setup_part_",
                                           "Setup_Part_0001_Of_0003.bin.sig"};
  for (const auto& [folder, names] :
       {std::make_pair(std::string("C:\\mixed"), mixed), std::make_pair(std::string("C:\\shared"), shared)}) {
    for (const std::string& name : names) writeText(folder + "\\" + name, "x");
    std::vector<std::pair<std::string, std::string>> byKey;
    for (const std::string& name : names) {
      std::string key = name;
      for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      byKey.emplace_back(key, name);
    }
    std::sort(byKey.begin(), byKey.end());
    std::vector<std::string> expected = {".", ".."};
    for (const auto& item : byKey) expected.push_back(item.second);
    EXPECT_EQ(list(folder + "\\*.*"), expected) << folder;
  }
}

// Folders are reached through the handles of the folders above them, kept
// from one search to the next: every listing and every file opened must
// still be what the full path names now.
TEST_F(HostFilesTest, KeptFolderHandlesFindWhatTheFullPathNames) {
  namespace fs = std::filesystem;
  using Names = std::vector<std::string>;
  writeText("C:\\a\\b\\one.txt", "1");
  writeText("C:\\a\\b\\deep\\three.txt", "3");
  writeText("C:\\a\\c\\two.txt", "2");
  EXPECT_EQ(list("C:\\a\\b\\*.*"), (Names{".", "..", "deep", "one.txt"}));
  EXPECT_EQ(list("C:\\a\\b\\deep\\*.*"), (Names{".", "..", "three.txt"}));
  EXPECT_EQ(list("C:\\a\\c\\*.*"), (Names{".", "..", "two.txt"}));
  EXPECT_EQ(list("C:\\a\\b\\deep\\..\\..\\c\\*.*"), (Names{".", "..", "two.txt"}));

  // The folder removed and made again behind the platform's back.
  list("C:\\a\\b\\*.*");
  fs::remove_all(host("C:\\a\\b"));
  writeText("C:\\a\\b\\four.txt", "4");
  EXPECT_EQ(list("C:\\a\\b\\*.*"), (Names{".", "..", "four.txt"}));
  EXPECT_EQ(readThrough("C:\\a\\b\\four.txt"), "4");

  // Its parent removed while a search sits below it, then made again.
  fs::remove_all(host("C:\\a"));
  EXPECT_TRUE(list("C:\\a\\b\\*.*").empty());
  EXPECT_EQ(fileOpen("C:\\a\\b\\four.txt", kOpenReadBinary), -1);
  writeText("C:\\a\\b\\five.txt", "5");
  EXPECT_EQ(readThrough("C:\\a\\b\\five.txt"), "5");
  EXPECT_EQ(list("C:\\a\\b\\*.*"), (Names{".", "..", "five.txt"}));
  // And a new folder beside the one searched last, in a parent made again.
  fs::remove_all(host("C:\\a"));
  writeText("C:\\a\\b\\five.txt", "5");
  writeText("C:\\a\\c\\six.txt", "6");
  EXPECT_EQ(list("C:\\a\\c\\*.*"), (Names{".", "..", "six.txt"}));

  // A folder moved away through the platform is not found under its old name.
  ASSERT_TRUE(moveFile("C:\\a\\b", "C:\\a\\moved"));
  EXPECT_TRUE(list("C:\\a\\b\\*.*").empty());
  EXPECT_EQ(list("C:\\a\\moved\\*.*"), (Names{".", "..", "five.txt"}));
}

TEST_F(HostFilesTest, KeptFolderHandlesFollowTheSpellingAskedFor) {
  using Names = std::vector<std::string>;
  writeText("C:\\Dir\\Sub\\in.txt", "i");
  EXPECT_EQ(list("C:\\DIR\\SUB\\*.*"), (Names{".", "..", "in.txt"}));
  EXPECT_EQ(readThrough("C:\\dir\\sub\\IN.TXT"), "i");
  // Two host folders whose names differ only in letter case: the one spelt
  // as asked for is listed, as by its full path.
  std::filesystem::create_directories(root_ + "/DIR");
  std::ofstream(root_ + "/DIR/other.txt") << "o";
  EXPECT_EQ(list("C:\\Dir\\*.*"), (Names{".", "..", "Sub"}));
  EXPECT_EQ(list("C:\\DIR\\*.*"), (Names{".", "..", "other.txt"}));
  EXPECT_EQ(list("C:\\Dir\\Sub\\*.*"), (Names{".", "..", "in.txt"}));
  EXPECT_EQ(readThrough("C:\\DIR\\other.txt"), "o");
}

// A link to a folder, one to itself deep in a loop, one to the drive's root:
// none is gone through, however the path is spelt.
TEST_F(HostFilesTest, FoldersBehindLinksAreNotReached) {
  writeText("C:\\real\\inside.txt", "r");
  ASSERT_EQ(symlink("real", host("C:\\link").c_str()), 0);
  ASSERT_EQ(symlink(".", host("C:\\real\\self").c_str()), 0);
  ASSERT_EQ(symlink(root_.c_str(), host("C:\\real\\root").c_str()), 0);
  EXPECT_EQ(list("C:\\real\\*.*"),
            (std::vector<std::string>{".", "..", "inside.txt", "root", "self"}));
  for (const char* folder : {"C:\\link", "C:\\real\\self", "C:\\REAL\\SELF\\self", "C:\\real\\root"}) {
    SCOPED_TRACE(folder);
    EXPECT_TRUE(list(std::string(folder) + "\\*.*").empty());
    EXPECT_EQ(readThrough(std::string(folder) + "\\inside.txt"), "");
  }
  EXPECT_EQ(readThrough("C:\\real\\self\\..\\inside.txt"), "r");  // ".." is taken apart first
}

// The matchers read by seeking to absolute positions; reads go on from where
// the last one ended, stop at the end, and a seek before the start fails.
TEST_F(HostFilesTest, ReadsFollowSeeksAndStopAtTheEnd) {
  writeText("C:\\r\\data.bin", "0123456789");
  FileDescriptor in(fileOpen("C:\\r\\data.bin", kOpenReadBinary));
  ASSERT_TRUE(in.valid());
  auto read = [&in](unsigned count) {
    char bytes[16] = {};
    const int got = fileRead(in.get(), bytes, count);
    return got < 0 ? std::string("error") : std::string(bytes, static_cast<size_t>(got));
  };
  EXPECT_EQ(read(3), "012");
  EXPECT_EQ(read(3), "345");
  EXPECT_EQ(fileSeek(in.get(), 8, kSeekSet), 8);
  EXPECT_EQ(read(5), "89");
  EXPECT_EQ(read(5), "");
  EXPECT_EQ(fileSeek(in.get(), 100, kSeekSet), 100);
  EXPECT_EQ(read(1), "");
  EXPECT_EQ(fileSeek(in.get(), -1, kSeekSet), -1);
  EXPECT_EQ(fileSeek(in.get(), -4, kSeekEnd), 6);
  EXPECT_EQ(read(4), "6789");
  EXPECT_EQ(fileSeek(in.get(), -11, kSeekEnd), -1);
  EXPECT_EQ(fileLength(in.get()), 10);
  in.close();

  // A descriptor opened for writing after it, usually under the same number,
  // seeks for real.
  FileDescriptor out(fileOpen("C:\\r\\data.bin", kOpenWriteBinary));
  ASSERT_TRUE(out.valid());
  EXPECT_EQ(fileSeek(out.get(), 2, kSeekSet), 2);
  EXPECT_EQ(fileWrite(out.get(), "ab", 2), 2);
  out.close();
  EXPECT_EQ(readText("C:\\r\\data.bin"), "01ab456789");
}

// Reads inside a file's first 4 KB, across its end and past it give the
// file's bytes, in one file after another and after the file was rewritten
// while it was open.
TEST_F(HostFilesTest, ReadsAroundTheFirstFourKilobytes) {
  std::string bytes(6000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  writeText("C:\\r\\big.bin", bytes);
  writeText("C:\\r\\small.bin", "short");
  FileDescriptor big(fileOpen("C:\\r\\big.bin", kOpenReadBinary));
  FileDescriptor small(fileOpen("C:\\r\\small.bin", kOpenReadBinary));
  ASSERT_TRUE(big.valid() && small.valid());
  auto readAt = [](int fd, long at, unsigned count) {
    std::string out(count, '\0');
    if (fileSeek(fd, at, kSeekSet) != at) return std::string("seek");
    const int got = fileRead(fd, out.data(), count);
    return got < 0 ? std::string("error") : out.substr(0, static_cast<size_t>(got));
  };
  for (long at : {0L, 60L, 4090L, 4096L, 5990L}) {
    SCOPED_TRACE(at);
    EXPECT_EQ(readAt(big.get(), at, 20), bytes.substr(static_cast<size_t>(at), 20));
    EXPECT_EQ(readAt(small.get(), at, 20), at == 0 ? "short" : "");
  }
  EXPECT_EQ(readAt(small.get(), 2, 20), "ort");
  EXPECT_EQ(readAt(big.get(), 4000, 96), bytes.substr(4000, 96));

  FileDescriptor writer(fileOpen("C:\\r\\big.bin", kOpenWriteBinary));
  ASSERT_TRUE(writer.valid());
  EXPECT_EQ(fileWrite(writer.get(), "XYZ", 3), 3);
  writer.close();
  EXPECT_EQ(readAt(big.get(), 0, 4), "XYZd");
}

TEST_F(HostFilesTest, PipesOnTheDiskAreNotOpened) {
  // A pipe with no writer would hold the scan at its open for ever; to
  // Windows only plain files are files.
  makeFolder("C:\\p");
  ASSERT_EQ(mkfifo(host("C:\\p\\pipe").c_str(), 0644), 0);
  EXPECT_EQ(fileOpen("C:\\p\\pipe", kOpenReadBinary), -1);
  EXPECT_EQ(fileOpen("C:\\p\\PIPE", kOpenReadBinary), -1);  // found by its full path
  EXPECT_EQ(linuxfs::openFileCount(), 0);
}
