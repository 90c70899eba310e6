// The recursive directory walk over real temporary folders: visiting order,
// status texts, counting, the Program Files note, stopping through the message
// pump, and the limits of the 260-byte path buffers.
#include "engine/walker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/session.h"
#include "platform/messages.h"
#include "samples/pe_builder.h"
#include "tests/sim/sim_machine.h"
#include "tests/support/scan_fixture.h"
#include "tests/support/test_machine.h"

namespace {

constexpr uint32_t kMsgPaint = 0x000F;
constexpr uint32_t kMsgClose = 0x0010;
constexpr uint32_t kMsgChar = 0x0102;

Message makeMessage(uint32_t number, uintptr_t wParam = 0) {
  return Message{nullptr, number, wParam, 0};
}

std::string shortened(const std::string& path, int width = 60) {
  std::vector<char> out(std::max<size_t>(width, path.size()) + 1);
  shortenPath(path.c_str(), out.data(), width);
  return out.data();
}

// "C:\" followed by folders of at most 60 characters, exactly `length` long.
std::string folderPathOfLength(size_t length) {
  std::string path = "C:";
  char fill = 'a';
  while (path.size() < length) {
    size_t room = length - path.size() - 1;  // after the backslash
    size_t take = std::min<size_t>(60, room);
    if (room - take == 1) --take;  // never leave room for a lone backslash
    path += '\\';
    path += std::string(take, fill++);
  }
  return path;
}

}  // namespace

class WalkerTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    g_session.memoryCheckMode = 0;  // the drive walk, as after the memory stage
    injectAt.clear();
  }
  void TearDown() override {
    EXPECT_EQ(simMachine().openSearches, 0) << "a search handle was left open";
    ScanFixture::TearDown();
  }

  // Queues `message` the moment the status label shows `status`, as if the
  // user acted while that entry was on screen.
  void injectWhenShown(const std::string& status, const Message& message) {
    injectAt = status;
    injected = message;
    bindReportChannel(ReportSink{[](const char* line) { lines.push_back(line); },
                                 [](const char* text) {
                                   statuses.push_back(text);
                                   if (text == injectAt) simMachine().messageQueue.push_back(injected);
                                 }});
  }

  static std::string injectAt;
  static Message injected;
};

std::string WalkerTest::injectAt;
Message WalkerTest::injected;

TEST_F(WalkerTest, FilesBeforeSubfoldersDepthFirstInListingOrder) {
  writeText("C:\\top\\b.txt", "b");
  writeText("C:\\top\\C.TXT", "c");
  writeText("C:\\top\\_x.txt", "x");
  writeText("C:\\top\\a\\a1.txt", "1");
  writeText("C:\\top\\a\\A0.txt", "0");
  writeText("C:\\top\\a\\deep\\d.txt", "d");
  makeFolder("C:\\top\\m");
  writeText("C:\\top\\Z\\z.txt", "z");

  EXPECT_EQ(walkDirectory("C:\\top\\*.*"), 7);

  const std::vector<std::string> expected = {
      "C:\\top\\.",          "C:\\top\\..",        "C:\\top\\a",       "C:\\top\\b.txt",
      "C:\\top\\C.TXT",      "C:\\top\\m",         "C:\\top\\Z",       "C:\\top\\_x.txt",
      "C:\\top\\a\\.",       "C:\\top\\a\\..",     "C:\\top\\a\\A0.txt", "C:\\top\\a\\a1.txt",
      "C:\\top\\a\\deep",    "C:\\top\\a\\deep\\.", "C:\\top\\a\\deep\\..", "C:\\top\\a\\deep\\d.txt",
      "C:\\top\\m\\.",       "C:\\top\\m\\..",     "C:\\top\\Z\\.",    "C:\\top\\Z\\..",
      "C:\\top\\Z\\z.txt"};
  EXPECT_EQ(statuses, expected);
  EXPECT_EQ(g_session.filesScanned, 7);
  EXPECT_TRUE(lines.empty());
}

TEST_F(WalkerTest, FoldersAreShownButNotCountedAndTheResultIsTheRunningTotal) {
  makeFolder("C:\\only\\x");
  makeFolder("C:\\only\\y");
  g_session.filesScanned = 5;  // counters carry over from earlier walks

  EXPECT_EQ(walkDirectory("C:\\only\\*.*"), 5);
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "C:\\only\\x"), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "C:\\only\\y"), statuses.end());

  writeText("C:\\only\\y\\f.bin", "f");
  EXPECT_EQ(walkDirectory("C:\\only\\*.*"), 6);
}

TEST_F(WalkerTest, StatusIsShortenedToSixtyCharacters) {
  const std::string sixty = "C:\\s\\" + std::string(51, 'k') + ".txt";   // 60 characters
  const std::string sixtyOne = "C:\\s\\" + std::string(52, 'm') + ".txt";  // 61 characters
  ASSERT_EQ(sixty.size(), 60u);
  ASSERT_EQ(sixtyOne.size(), 61u);
  writeText(sixty, "a");
  writeText(sixtyOne, "b");

  walkDirectory("C:\\s\\*.*");

  const std::string expectedShort = sixtyOne.substr(0, 29) + ".." + sixtyOne.substr(32);
  ASSERT_EQ(expectedShort.size(), 60u);
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), sixty), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), expectedShort), statuses.end());
  for (const std::string& status : statuses) EXPECT_LE(status.size(), 60u) << status;
}

struct ShortenCase {
  std::string source;
  int width;
  std::string expected;
};

TEST(ShortenPath, KeepsHeadAndTailAroundDots) {
  const std::string hundred(100, 'p');
  const std::string digits = "0123456789abcdefghijklmnopqrstuvwxyz";
  const ShortenCase cases[] = {
      {std::string(60, 'q'), 60, std::string(60, 'q')},
      {digits, 36, digits},
      {digits, 35, digits.substr(0, 16) + "..." + digits.substr(20)},
      {digits, 10, "0123..wxyz"},
      {digits, 5, "0...z"},
      {digits, 4, "0..z"},
      {digits, 3, digits},  // nothing to keep at either end: unchanged
      {digits, 0, digits},
      {"", 60, ""},
      // Widths above 99 are taken as 99: 48 + "..." + 48.
      {hundred + "X", 150, std::string(48, 'p') + "..." + std::string(47, 'p') + "X"},
  };
  for (const ShortenCase& c : cases) {
    EXPECT_EQ(shortened(c.source, c.width), c.expected) << c.source << " width " << c.width;
  }
}

TEST_F(WalkerTest, ProgramFilesNoteOnlyForShortRootPatterns) {
  struct Case {
    const char* folderOnDisk;  // null: none
    const char* pattern;
    int pending;
    const char* recorded;
  };
  const Case cases[] = {
      {"Program Files", "C:\\*.*", 1, "C:\\Program Files\\*.*"},
      {"PROGRAM FILES", "C:\\*.*", 1, "C:\\Program Files\\*.*"},  // found whatever its case
      {nullptr, "C:\\*.*", 0, "C:\\Program Files"},
      {"Program Files", "C:\\x\\*.*", 0, ""},  // 8 characters: not a root pattern
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::filesystem::remove_all(host("C:\\Program Files"));
    std::filesystem::remove_all(host("C:\\PROGRAM FILES"));
    makeFolder("C:\\x");
    if (c.folderOnDisk) makeFolder(std::string("C:\\") + c.folderOnDisk);
    g_session.programFilesPending = 0;
    g_session.programFilesPattern[0] = 0;
    walkDirectory(c.pattern);
    EXPECT_EQ(g_session.programFilesPending, c.pending);
    EXPECT_STREQ(g_session.programFilesPattern, c.recorded);
  }
}

TEST_F(WalkerTest, EnteringProgramFilesIsRemembered) {
  makeFolder("C:\\Programs");
  walkDirectory("C:\\*.*");
  EXPECT_EQ(g_session.programFilesSeen, 0);

  writeText("C:\\Program Files\\app\\a.exe", "a");
  walkDirectory("C:\\*.*");
  EXPECT_EQ(g_session.programFilesSeen, 1);
}

TEST_F(WalkerTest, PatternWithoutDotAbandonsTheWalk) {
  writeText("C:\\nodot\\file.txt", "f");
  EXPECT_EQ(walkDirectory("C:\\nodot\\*"), -1);
  EXPECT_TRUE(statuses.empty());
  EXPECT_EQ(g_session.filesScanned, 0);
}

TEST_F(WalkerTest, MemoryCheckModeChecksExactlyTheNamedFileWithoutCounting) {
  writeFile("C:\\proc\\app.exe", buildInfectedSample(builtInRecord(0)));
  writeFile("C:\\proc\\other.exe", buildInfectedSample(builtInRecord(0)));
  writeFile("C:\\proc\\app.dll", buildInfectedSample(builtInRecord(0)));
  g_session.memoryCheckMode = 1;
  g_session.actionCode = kActionDelete;

  EXPECT_EQ(walkDirectory("C:\\proc\\app.exe"), 0);
  EXPECT_EQ(statuses, std::vector<std::string>{"C:\\proc\\app.exe"});
  EXPECT_EQ(g_session.filesScanned, 0);
  EXPECT_EQ(g_session.filesInfected, 1);
  EXPECT_EQ(g_session.memoryHit, 1);
  EXPECT_TRUE(exists("C:\\proc\\app.exe"));  // the memory stage decides what happens next

  // Each walk call starts with memoryHit cleared.
  writeFile("C:\\proc\\clean.exe", buildCleanSample(38400, 3));
  EXPECT_EQ(walkDirectory("C:\\proc\\clean.exe"), 0);
  EXPECT_EQ(g_session.memoryHit, 0);
  EXPECT_EQ(g_session.filesInfected, 1);
}

TEST(PumpOneMessage, HandlesOneMessageByKind) {
  struct Case {
    const char* what;
    Message message;
    int answer;
    bool asks;
    bool stops;
    bool dispatched;
    bool stoppedBefore = false;
  };
  const Case cases[] = {
      {"Escape key, answered No", makeMessage(kMsgKeyDown, kVkEscape), kIdNo, true, false, false},
      {"Escape key, answered Yes", makeMessage(kMsgKeyDown, kVkEscape), kIdYes, true, true, false},
      {"Escape, answered Cancel", makeMessage(kMsgKeyDown, kVkEscape), kIdCancel, true, true, false},
      {"Escape as a character", makeMessage(kMsgChar, kVkEscape), kIdNo, true, false, false},
      {"any message with 27 in the low word", makeMessage(kMsgPaint, 0x7001B), kIdYes, true, true,
       false},
      {"27 in the high byte only", makeMessage(kMsgKeyDown, 0x1B00), kIdYes, false, false, true},
      {"WM_QUIT", makeMessage(kMsgQuit), kIdNo, false, true, false},
      {"WM_DESTROY", makeMessage(kMsgDestroy), kIdNo, false, true, false},
      {"WM_CLOSE goes to the window", makeMessage(kMsgClose), kIdYes, false, false, true},
      {"painting", makeMessage(kMsgPaint), kIdYes, false, false, true},
      // The walk is ending: a second question would ask for what is decided.
      {"Escape after a confirmed stop", makeMessage(kMsgKeyDown, kVkEscape), kIdNo, false, true,
       false, true},
  };
  static std::vector<std::string> asked;
  static int answer;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetTestMachine();
    resetScanSession();
    asked.clear();
    answer = c.answer;
    g_session.stopRequested = c.stoppedBefore ? 1 : 0;
    bindConfirmBox([](const char* text, const char* caption, unsigned style) {
      asked.push_back(std::string(text) + "|" + caption + "|" + std::to_string(style));
      return answer;
    });
    simMachine().messageQueue.push_back(c.message);
    simMachine().messageQueue.push_back(makeMessage(kMsgPaint));

    pumpOneMessage();

    EXPECT_EQ(simMachine().messageQueue.size(), 1u) << "takes exactly one message";
    EXPECT_EQ(g_session.stopRequested, c.stops ? 1 : 0);
    if (c.asks) {
      EXPECT_EQ(asked, std::vector<std::string>{"Terminate the Scan now?|Drenvalisk Ver 1.0|36"});
    } else {
      EXPECT_TRUE(asked.empty());
    }
    ASSERT_EQ(simMachine().dispatched.size(), c.dispatched ? 1u : 0u);
    if (c.dispatched) {
      EXPECT_EQ(simMachine().dispatched[0].message, c.message.message);
      EXPECT_EQ(simMachine().dispatched[0].wParam, c.message.wParam);
    }
  }
  resetTestMachine();
  resetScanSession();
  pumpOneMessage();  // an empty queue: nothing happens
  EXPECT_TRUE(simMachine().dispatched.empty());
  EXPECT_EQ(g_session.stopRequested, 0);
  bindConfirmBox(nullptr);
}

TEST_F(WalkerTest, QueuedMessagesAreDispatchedWhileTheWalkGoesOn) {
  writeText("C:\\w\\a.txt", "a");
  writeText("C:\\w\\b.txt", "b");
  for (uintptr_t i = 1; i <= 3; ++i) simMachine().messageQueue.push_back(makeMessage(kMsgPaint, i));

  EXPECT_EQ(walkDirectory("C:\\w\\*.*"), 2);
  ASSERT_EQ(simMachine().dispatched.size(), 3u);
  for (uintptr_t i = 0; i < 3; ++i) EXPECT_EQ(simMachine().dispatched[i].wParam, i + 1);
}

TEST_F(WalkerTest, EscapeAnsweredNoChangesNothing) {
  writeText("C:\\w\\a.txt", "a");
  writeText("C:\\w\\sub\\b.txt", "b");
  walkDirectory("C:\\w\\*.*");
  const std::vector<std::string> undisturbed = statuses;
  resetScanSession();
  g_session.memoryCheckMode = 0;
  statuses.clear();

  confirmAnswer = kIdNo;
  injectWhenShown("C:\\w\\sub\\.", makeMessage(kMsgKeyDown, kVkEscape));
  EXPECT_EQ(walkDirectory("C:\\w\\*.*"), 2);
  EXPECT_EQ(statuses, undisturbed);
  EXPECT_EQ(questions, std::vector<std::string>{"Terminate the Scan now?"});
  EXPECT_EQ(g_session.stopRequested, 0);
  EXPECT_TRUE(simMachine().dispatched.empty());
}

TEST_F(WalkerTest, StopEndsEveryLevelAtOnce) {
  struct Case {
    const char* what;
    Message message;
  };
  const Case cases[] = {
      {"Escape answered Yes", makeMessage(kMsgKeyDown, kVkEscape)},
      {"WM_QUIT", makeMessage(kMsgQuit)},
      {"WM_DESTROY", makeMessage(kMsgDestroy)},
  };
  writeText("C:\\w\\a.txt", "a");
  writeText("C:\\w\\one\\two\\deep.txt", "d");
  writeText("C:\\w\\one\\two\\later.txt", "l");
  writeText("C:\\w\\one\\zz.txt", "z");
  writeText("C:\\w\\three\\t.txt", "t");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    resetScanSession();
    g_session.memoryCheckMode = 0;
    statuses.clear();
    questions.clear();
    confirmAnswer = kIdYes;
    injectWhenShown("C:\\w\\one\\two\\deep.txt", c.message);

    EXPECT_EQ(walkDirectory("C:\\w\\*.*"), 0);
    EXPECT_EQ(g_session.stopRequested, 1);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), "C:\\w\\one\\two\\deep.txt");
    EXPECT_EQ(g_session.filesScanned, 3);  // a.txt, zz.txt (files of one come before two), deep.txt
    EXPECT_TRUE(simMachine().dispatched.empty());
    EXPECT_EQ(simMachine().openSearches, 0);

    // Later walks (the remaining drives) return before showing anything.
    statuses.clear();
    injectAt.clear();
    EXPECT_EQ(walkDirectory("C:\\w\\three\\*.*"), 0);
    EXPECT_TRUE(statuses.empty());
  }
}

TEST_F(WalkerTest, EntriesBeyondThePathLimitArePassedOver) {
  const std::string folder = folderPathOfLength(250);
  ASSERT_EQ(folder.size(), 250u);
  const std::string fits = folder + "\\" + std::string(4, 'f') + ".exe";        // 259
  const std::string tooLong = folder + "\\" + std::string(5, 'g') + ".exe";     // 260
  const std::string subFolder = folder + "\\s";                                 // pattern 256
  const std::string inSub = subFolder + "\\" + std::string(6, 'h');             // 259
  const std::string inSubTooLong = subFolder + "\\" + std::string(7, 'i');      // 260
  const std::string longFolder = folder + "\\" + std::string(7, 'L');           // 258, pattern 262
  const std::string unreachable = longFolder + "\\x";
  ASSERT_EQ(fits.size(), 259u);
  ASSERT_EQ(tooLong.size(), 260u);
  writeFile(fits, buildInfectedSample(builtInRecord(0)));
  writeFile(tooLong, buildInfectedSample(builtInRecord(0)));
  writeText(inSub, "h");
  writeText(inSubTooLong, "i");
  writeText(unreachable, "x");
  g_session.actionCode = kActionReport;

  const std::string top = folder.substr(0, folder.find('\\', 3));
  EXPECT_EQ(walkDirectory((top + "\\*.*").c_str()), 2);

  EXPECT_EQ(g_session.filesInfected, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], fits + "     W32/Tarvolinex.Bej.Ransom.Trojan not disinfected as per user's selection");
  auto shown = [&](const std::string& path) {
    return std::find(statuses.begin(), statuses.end(), shortened(path)) != statuses.end();
  };
  EXPECT_TRUE(shown(inSub));
  EXPECT_TRUE(shown(longFolder));  // shown as an entry, never entered
  EXPECT_FALSE(shown(tooLong));
  EXPECT_FALSE(shown(inSubTooLong));
  EXPECT_FALSE(shown(unreachable));
}

TEST_F(WalkerTest, UnreadableFolderIsPassedOver) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not deny the superuser";
  writeText("C:\\u\\a.txt", "a");
  writeText("C:\\u\\locked\\secret.txt", "s");
  writeText("C:\\u\\z\\b.txt", "b");
  ASSERT_EQ(chmod(host("C:\\u\\locked").c_str(), 0), 0);

  EXPECT_EQ(walkDirectory("C:\\u\\*.*"), 2);
  chmod(host("C:\\u\\locked").c_str(), 0755);
  EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "C:\\u\\locked\\secret.txt"), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "C:\\u\\z\\b.txt"), statuses.end());
}

TEST_F(WalkerTest, LinkToAnAncestorIsPassedOver) {
  writeText("C:\\loop\\f.txt", "f");
  ASSERT_EQ(symlink("..", host("C:\\loop\\up").c_str()), 0);
  ASSERT_EQ(symlink("f.txt", host("C:\\loop\\g.txt").c_str()), 0);

  EXPECT_EQ(walkDirectory("C:\\loop\\*.*"), 1);  // f.txt once; neither link is opened
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "C:\\loop\\f.txt"), 1);
}
