// Symbolic links on a scanned disk (the Linux NTFS drivers show junctions as
// such): listed as junctions, never gone through by a listing, a read, a
// change or a scheduled removal, and counted once at the end of a scan.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/files.h"
#include "samples/pe_builder.h"
#include "tests/support/child_process.h"
#include "tests/support/expected_report.h"
#include "tests/support/scan_fixture.h"

namespace {

const std::string kBejName = "W32/Tarvolinex.Bej.Ransom.Trojan";
const std::string kNoteStart = "Links passed over (symbolic links and junctions, not followed): ";

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& start) {
  std::vector<std::string> found;
  for (const std::string& line : splitLines(text))
    if (line.rfind(start, 0) == 0) found.push_back(line);
  return found;
}

}  // namespace

class HostLinksTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    // A folder of this machine beside the disk (the scanner is given C: only).
    outside_ = mapDrive('Q');
  }

  void link(const std::string& target, const std::string& windowsPath) const {
    ASSERT_EQ(symlink(target.c_str(), host(windowsPath).c_str()), 0) << windowsPath;
  }

  std::string outsideFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = outside_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  ChildOutcome scan(std::vector<std::string> options) {
    options.push_back(root_);
    return runChild(DRENVALISK_SCAN_BINARY, options);
  }

  std::string outside_;
};

// Every disk from Vista on: ProgramData\Application Data -> ProgramData and
// the same in each profile's AppData\Local, plus links to the parent.
TEST_F(HostLinksTest, JunctionLoopsAreWalkedOnceAndCountedOnce) {
  writeFile("C:\\ProgramData\\bej.exe", buildInfectedSample(builtInRecord(0)));
  for (int i = 0; i < 50; ++i)
    writeText("C:\\ProgramData\\Data\\file" + std::to_string(i) + ".txt", "d");
  writeText("C:\\Users\\alice\\AppData\\Local\\notes.txt", "n");
  link(".", "C:\\ProgramData\\Application Data");
  link("..", "C:\\ProgramData\\Data\\Parent");
  link(".", "C:\\Users\\alice\\AppData\\Local\\Application Data");
  link("../..", "C:\\Users\\alice\\AppData\\Local\\Up Two");
  link("Local", "C:\\Users\\alice\\AppData\\Local Settings");

  const std::string log = mapDrive('L') + "/scan.log";
  for (const char* action : {"report", "delete"}) {
    SCOPED_TRACE(action);
    ChildOutcome run = scan({"--action", action, "--log", log});
    const bool removing = std::string(action) == "delete";
    std::vector<std::string> expected = {
        "C:\\ProgramData\\bej.exe     " + kBejName +
        (removing ? " removed" : " not disinfected as per user's selection")};
    for (const std::string& line : statisticsBlock(52, 1, removing ? 1 : 0))
      expected.push_back(line);
    EXPECT_EQ(splitLines(run.out), expected);
    EXPECT_EQ(linesStartingWith(run.err, kNoteStart),
              std::vector<std::string>{kNoteStart + "5"});
    const std::vector<std::string> err = splitLines(run.err);
    ASSERT_GE(err.size(), 2u);
    EXPECT_EQ(err[err.size() - 2], kNoteStart + "5");
    EXPECT_EQ(err.back(), "Scanning completed");
  }
  // Once per run in the log too, just before its final status.
  const std::vector<std::string> logged = splitLines(readText("L:\\scan.log"));
  EXPECT_EQ(std::count(logged.begin(), logged.end(), kNoteStart + "5"), 2);
  EXPECT_EQ(logged.back(), "Scanning completed");
  EXPECT_EQ(logged[logged.size() - 2], kNoteStart + "5");
  for (const char* linkPath : {"C:\\ProgramData\\Application Data", "C:\\ProgramData\\Data\\Parent"})
    EXPECT_TRUE(std::filesystem::is_symlink(host(linkPath))) << linkPath;
}

TEST_F(HostLinksTest, WithoutLinksThereIsNoCountLine) {
  writeText("C:\\a.txt", "a");
  ChildOutcome run = scan({});
  EXPECT_TRUE(linesStartingWith(run.err, kNoteStart).empty());
  EXPECT_EQ(lastLine(run.err), "Scanning completed");
}

// A link inside the disk to a folder or a file outside it: the delete run
// leaves the outside files in place and reports nothing for them.
TEST_F(HostLinksTest, LinksOutOfTheDiskAreNeverFollowed) {
  const std::vector<uint8_t> infected = buildInfectedSample(builtInRecord(0));
  outsideFile("v.exe", infected);
  const std::string outsideExe = outsideFile("w.exe", infected);
  writeText("C:\\Users\\Public\\readme.txt", "r");
  link(outside_, "C:\\Users\\Public\\link");
  link(outsideExe, "C:\\Users\\Public\\w.exe");
  link(outside_ + "/gone", "C:\\Users\\Public\\dangling");

  ChildOutcome run = scan({"--action", "delete"});

  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(splitLines(run.out), statisticsBlock(1, 0, 0));
  EXPECT_EQ(linesStartingWith(run.err, kNoteStart), std::vector<std::string>{kNoteStart + "3"});
  EXPECT_TRUE(std::filesystem::exists(outside_ + "/v.exe"));
  EXPECT_TRUE(std::filesystem::exists(outsideExe));
  EXPECT_TRUE(std::filesystem::is_symlink(host("C:\\Users\\Public\\w.exe")));
}

// The platform's own answers for a link: a junction in listings, and no
// listing, read, change or copy goes through it or acts on it.
TEST_F(HostLinksTest, EveryFileCallRefusesToGoThroughALink) {
  const std::string outsideExe = outsideFile("v.exe", {'M', 'Z', 'o'});
  writeText("C:\\d\\plain.txt", "p");
  link(outside_, "C:\\d\\out");
  link(outsideExe, "C:\\d\\v.exe");

  FindData data = {};
  Handle search = findFirstFile("C:\\d\\out", &data);
  ASSERT_NE(search, PLATFORM_INVALID_HANDLE);
  findClose(search);
  EXPECT_EQ(data.attributes, kAttrDirectory | kAttrReparsePoint);
  search = findFirstFile("C:\\d\\v.exe", &data);
  ASSERT_NE(search, PLATFORM_INVALID_HANDLE);
  findClose(search);
  EXPECT_EQ(data.attributes, kAttrDirectory | kAttrReparsePoint);
  EXPECT_EQ(data.sizeLow, 0u);
  EXPECT_TRUE(list("C:\\d\\out\\*.*").empty());
  EXPECT_TRUE(list("C:\\D\\OUT\\*.*").empty());

  for (const char* path : {"C:\\d\\out\\v.exe", "C:\\d\\v.exe"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(fileOpen(path, kOpenReadBinary), -1);
    EXPECT_EQ(fileOpen(path, kOpenWriteBinary), -1);
    EXPECT_EQ(fileOpen(path, kOpenTruncateBinary), -1);
    EXPECT_EQ(fileAccess(path, 0), -1);
    EXPECT_FALSE(setFileAttributes(path, kAttrReadOnly));
    EXPECT_FALSE(deleteFile(path));
    EXPECT_FALSE(moveFile(path, "C:\\d\\moved.exe"));
    EXPECT_FALSE(copyFile(path, "C:\\d\\copy.exe", false));
    EXPECT_FALSE(copyFile("C:\\d\\plain.txt", path, false));
    char shortPath[kMaxPath];
    EXPECT_EQ(getShortPathName(path, shortPath, sizeof shortPath), 0u);
  }
  EXPECT_FALSE(moveFile("C:\\d\\plain.txt", "C:\\d\\out\\plain.txt"));
  EXPECT_EQ(fileOpen("C:\\d\\out\\new.txt", kOpenCreateAppendBinary), -1);

  // The outside file is as it was, and nothing was made beside it.
  std::ifstream in(outsideExe, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "MZo");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outside_), {}), 1);
  struct stat info;
  ASSERT_EQ(stat(outsideExe.c_str(), &info), 0);
  EXPECT_TRUE(info.st_mode & S_IWUSR);
  EXPECT_FALSE(exists("C:\\d\\moved.exe"));
  EXPECT_FALSE(exists("C:\\d\\copy.exe"));
  EXPECT_EQ(readText("C:\\d\\plain.txt"), "p");
}

// A folder the walk has open is swapped for a link after it was listed: the
// read goes on in the folder that was listed, and a change is looked up anew
// from the drive's root, which meets the link and stops.
TEST_F(HostLinksTest, ALinkSwappedInAfterListingRedirectsNothing) {
  const std::string outsideExe = outsideFile("v.exe", {'o', 'u', 't'});
  writeText("C:\\users\\x\\v.exe", "in");
  EXPECT_EQ(list("C:\\users\\x\\*.*"), (std::vector<std::string>{".", "..", "v.exe"}));

  std::filesystem::rename(host("C:\\users\\x"), host("C:\\users\\moved"));
  link(outside_, "C:\\users\\x");

  FileDescriptor read(fileOpen("C:\\users\\x\\v.exe", kOpenReadBinary));
  if (read.valid()) {  // the folder already open: the file that was listed
    char bytes[4] = {};
    EXPECT_EQ(fileRead(read.get(), bytes, 3), 2);
    EXPECT_EQ(std::string(bytes), "in");
  }
  EXPECT_FALSE(setFileAttributes("C:\\users\\x\\v.exe", kAttrReadOnly));
  EXPECT_FALSE(deleteFile("C:\\users\\x\\v.exe"));
  EXPECT_FALSE(moveFile("C:\\users\\x\\v.exe", "C:\\users\\x\\v.exV"));
  EXPECT_EQ(fileOpen("C:\\users\\x\\v.exe", kOpenReadBinary), -1);  // looked up anew
  EXPECT_TRUE(std::filesystem::exists(outsideExe));
  EXPECT_FALSE(std::filesystem::exists(outside_ + "/v.exV"));
  EXPECT_EQ(readText("C:\\users\\moved\\v.exe"), "in");
}

// Real folders in other letter case and ".." still resolve without a link.
TEST_F(HostLinksTest, ChangesStillFindNamesInAnotherLetterCase) {
  writeText("C:\\Dir\\Sub\\File.exe", "f");
  EXPECT_TRUE(setFileAttributes("C:\\DIR\\sub\\..\\Sub\\FILE.EXE", kAttrReadOnly));
  EXPECT_FALSE(deleteFile("C:\\dir\\sub\\file.exe"));
  EXPECT_TRUE(setFileAttributes("C:\\dir\\sub\\file.exe", kAttrArchive));
  EXPECT_TRUE(moveFile("C:\\DIR\\SUB\\FILE.EXE", "C:\\dir\\sub\\File.exV"));
  EXPECT_TRUE(copyFile("C:\\dir\\SUB\\file.exv", "C:\\dir\\copy.exe", true));
  EXPECT_FALSE(copyFile("C:\\dir\\SUB\\file.exv", "C:\\DIR\\COPY.EXE", true));
  EXPECT_TRUE(deleteFile("C:\\DIR\\Sub\\FILE.EXV"));
  EXPECT_FALSE(exists("C:\\Dir\\Sub\\File.exV"));
  EXPECT_EQ(readText("C:\\Dir\\copy.exe"), "f");
}
