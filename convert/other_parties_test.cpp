// What a conversion does when something else touches its files: a second converter,
// a converter killed at any step, another user's file in a shared folder, a link
// another user planted.
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "convert/replacement_test.h"
#include "platform/platform.h"
#include "tests/test_folder.h"

namespace {

const uid_t kNobody = 65534;

class OtherPartiesTest : public ReplacementTest {
 protected:
  void SetUp() override {
    ReplacementTest::SetUp();
    WriteFile("release", "");  // the stand-in updater ends at once
  }
  void TearDown() override {
    for (const char* call : {"linkat", "write"}) OverrideSystemCall(call, nullptr);
    ReplacementTest::TearDown();
  }
  static int ConvertedWithoutMessage() {
    return ConvertMission("Am", "01") && messages.empty() ? 0 : 1;
  }
};

// Runs body in a child process, as user nobody when as_nobody; its exit code.
template <typename Body>
int InChild(bool as_nobody, Body body) {
  pid_t child = fork();
  if (child == 0) {
    if (as_nobody && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(90);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Leftovers() {
  std::vector<std::string> hidden;
  for (const std::string& name : ListFolder(".")) {
    if (name[0] == '.') hidden.push_back(name);
  }
  return hidden;
}

TEST_F(OtherPartiesTest, SharedFolderKeepsAnotherUsersListItsOwn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make a second user's files";
  // A family's folder: anyone may write it and the files; sticky or not.
  for (unsigned folder_mode : {0777u, 01777u}) {
    SCOPED_TRACE(folder_mode);
    WriteFile("Am01.txt", "old list");
    chmod("Am01.txt", 0666);
    chmod("Am01.kdp", 0666);
    chmod(".", folder_mode);
    EXPECT_EQ(0, InChild(true, ConvertedWithoutMessage));
    EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
    EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
    struct stat list;
    ASSERT_EQ(0, stat("Am01.txt", &list));
    EXPECT_EQ(0u, list.st_uid);
    EXPECT_EQ(0666u, list.st_mode & 07777);
    EXPECT_EQ(std::vector<std::string>{}, Leftovers());
  }
  // A list the user may not write stays refused, and so does one that no one may.
  chmod(".", 0777);
  for (unsigned list_mode : {0644u, 0444u}) {
    SCOPED_TRACE(list_mode);
    WriteFile("Am01.txt", "old list");
    chmod("Am01.txt", list_mode);
    EXPECT_EQ(1, InChild(list_mode == 0644, ConvertedWithoutMessage));
    EXPECT_EQ("old list", ReadFile("Am01.txt"));
  }
}

TEST_F(OtherPartiesTest, LinkPlantedByAnotherUserIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to plant a second user's link";
  chmod(".", 0777);
  WriteFile("secret", "root's own");
  chmod("secret", 0600);
  RemoveFile("Am01.kdp");
  ASSERT_EQ(0, symlink("secret", "Am01.kdp"));
  ASSERT_EQ(0, lchown("Am01.kdp", kNobody, kNobody));
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}, messages);
  EXPECT_EQ("root's own", ReadFile("secret"));
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  // The folder's owner may link: root here, as the kernel's rule for sticky folders has it.
  messages.clear();
  ASSERT_EQ(0, lchown("Am01.kdp", 0, 0));
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_EQ(ExpectedStub(), ReadFile("secret"));
}

// A converter killed at the k-th write, link or rename it makes, for every k.
int calls_before_kill = 0;
void CountOrDie() {
  if (calls_before_kill-- == 0) raise(SIGKILL);
}
bool pause_before_last_write = false;  // so that the file's time moves on
ssize_t WriteThenDie(int fd, const void* bytes, size_t size) {
  if (pause_before_last_write && calls_before_kill == 1) usleep(20000);
  CountOrDie();
  return reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(RealSystemCall("write"))(
      fd, bytes, size > 8 ? 8 : size);  // short writes, so that a kill falls amid a copy
}
int RenameThenDie(const char* from, const char* to) {
  CountOrDie();
  return reinterpret_cast<int (*)(const char*, const char*)>(RealSystemCall("rename"))(from, to);
}
int LinkThenDie(const char* from, const char* to) {
  CountOrDie();
  return reinterpret_cast<int (*)(const char*, const char*)>(RealSystemCall("link"))(from, to);
}
int LinkatThenDie(int from_folder, const char* from, int to_folder, const char* to, int flags) {
  CountOrDie();
  return reinterpret_cast<int (*)(int, const char*, int, const char*, int)>(
      RealSystemCall("linkat"))(from_folder, from, to_folder, to, flags);
}

TEST_F(OtherPartiesTest, KillAtAnyStepIsRepairedByTheNextConversion) {
  const std::string old_list(1600, 'o');  // long enough for a copy of many writes
  struct Case {
    bool shared;         // another user's list, written in place
    bool unnamed_files;  // the new file has no name until complete
    bool links;          // the old list kept by a second link, else by a copy
    int steps;           // at least
    bool old_files = true;
    bool second_name = false;  // the list has another name too (a backup)
  };
  for (Case test : {Case{false, true, true, 4}, Case{false, false, true, 4},
                    Case{false, true, false, 150}, Case{true, true, true, 150},
                    Case{false, true, true, 4, false}, Case{false, true, true, 4, true, true}}) {
    bool shared = test.shared;
    if (shared && geteuid() != 0) continue;
    SCOPED_TRACE(shared ? "another user's list, written in place" : "our own list");
    SCOPED_TRACE(test.unnamed_files ? "unnamed new files" : "named new files");
    chmod(".", 0777);
    bool finished = false;
    int kills = 0;
    for (int k = 0; !finished && k < 2000; ++k) {
      SCOPED_TRACE(k);
      RemoveFile("Am01.txt");
      RemoveFile("Am01.kdp");
      if (test.old_files) {
        WriteFile("Am01.txt", old_list);
        WriteFile("Am01.kdp", "old stub");
        chmod("Am01.txt", 0666);
        chmod("Am01.kdp", 0666);
      }
      RemoveFile("backup.txt");
      if (test.second_name) {
        ASSERT_EQ(0, link("Am01.txt", "backup.txt"));
      }
      int code = InChild(shared, [k, test] {
        calls_before_kill = k;
        pause_before_last_write = test.shared;
        if (!test.unnamed_files) {
          OverrideSystemCall("open", reinterpret_cast<SystemCall>(OpenWithoutUnnamedFiles));
        }
        if (!test.links) OverrideSystemCall("link", reinterpret_cast<SystemCall>(LinkFailing));
        OverrideSystemCall("write", reinterpret_cast<SystemCall>(WriteThenDie));
        OverrideSystemCall("rename", reinterpret_cast<SystemCall>(RenameThenDie));
        if (test.links) OverrideSystemCall("link", reinterpret_cast<SystemCall>(LinkThenDie));
        OverrideSystemCall("linkat", reinterpret_cast<SystemCall>(LinkatThenDie));
        return ConvertedWithoutMessage();
      });
      finished = code == 0;
      ASSERT_TRUE(finished || code == 128 + SIGKILL) << code;
      kills += finished ? 0 : 1;
      // The same user's next conversion fails on a name it cannot list: what it
      // leaves is what the repair made of the killed one's files.
      WriteFile("__Am/01/bad\n", "x");
      InChild(shared, ConvertedWithoutMessage);
      RemoveFile("__Am/01/bad\n");
      std::string list = ReadFile("Am01.txt");
      std::string before = test.old_files ? old_list : "";
      EXPECT_TRUE(list == before || (finished && list == kNewList)) << list.size();
      EXPECT_EQ(list == before ? (test.old_files ? "old stub" : "") : ExpectedStub(),
                ReadFile("Am01.kdp"));
      EXPECT_EQ(std::vector<std::string>{}, Leftovers());
      messages.clear();
    }
    EXPECT_TRUE(finished);
    EXPECT_GE(kills, test.steps);  // killed at every step, amid copies too
  }
}

// A leftover's name as a converter of that process number gives it, about the file
// target is now.
std::string LeftoverName(const char* target, const char* kind, const char* pid_and_number) {
  struct stat status;
  if (stat(target, &status) != 0) return "?";
  return std::string(".") + target + "." + kind + "." + std::to_string(status.st_ino) + "-" +
         pid_and_number;
}

// A failed conversion must leave the list as it is, whatever lies beside it.
TEST_F(OtherPartiesTest, OnlyAFreshCopyOfOursGoesBack) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  chmod(".", 01777);
  chmod("Am01.txt", 0666);
  WriteFile("__Am/01/bad\n", "x");  // each conversion below fails
  // Another user plants a "kept copy" of a converter that is gone.
  const std::string planted = LeftoverName("Am01.txt", "old", "999999-1");
  WriteFile(planted, "planted");
  ASSERT_EQ(0, chown(planted.c_str(), kNobody, kNobody));
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("planted", ReadFile(planted));
  RemoveFile(planted);
  // Nor a link of that name, nor a second name of a file we may read.
  WriteFile("secret", "root's own");
  chmod("secret", 0600);
  ASSERT_EQ(0, symlink("secret", LeftoverName("Am01.txt", "over", "999999-3").c_str()));
  ASSERT_EQ(0, link("secret", LeftoverName("Am01.kdp", "over", "999999-4").c_str()));
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("old stub", ReadFile("Am01.kdp"));
  EXPECT_EQ("root's own", ReadFile("secret"));
  RemoveFile(LeftoverName("Am01.txt", "over", "999999-3"));

  // nobody's converter, killed writing into root's list, left a copy only it may
  // read; root's conversion then worked. nobody's next one must not undo it.
  const std::string copy = LeftoverName("Am01.txt", "over", "999999-2");
  WriteFile(copy, "old list");
  ASSERT_EQ(0, chown(copy.c_str(), kNobody, kNobody));
  chmod(copy.c_str(), 0600);
  RemoveFile("__Am/01/bad\n");
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  WriteFile("__Am/01/bad\n", "x");
  EXPECT_EQ(1, InChild(true, ConvertedWithoutMessage));
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_EQ(std::vector<std::string>{}, Leftovers());  // a stale copy goes

  // A first conversion killed between its files marked its list; the user then put
  // a list of their own there, an old one by its time: it stays.
  WriteFile(LeftoverName("Am01.txt", "none", "999999-5"), "");
  WriteFile("mine.txt", "my own list");
  struct timespec long_ago[2] = {{1700000000, 0}, {1700000000, 0}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, "mine.txt", long_ago, 0));
  ASSERT_EQ(0, rename("mine.txt", "Am01.txt"));
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ("my own list", ReadFile("Am01.txt"));
  EXPECT_EQ(std::vector<std::string>{}, Leftovers());
  // Nor does a later list that was given the same inode number.
  WriteFile(LeftoverName("Am01.txt", "none", "999999-6"), "");
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ("my own list", ReadFile("Am01.txt"));
}

TEST_F(OtherPartiesTest, LeftoversOfALiveConverterStay) {
  // Process 1 is alive; a name it could have made is not ours to clear.
  WriteFile(".Am01.txt.new-1-1", "another converter's");
  const std::string kept = LeftoverName("Am01.txt", "old", "1-2");
  WriteFile(kept, "another converter's");
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_EQ((std::vector<std::string>{".Am01.txt.new-1-1", kept}), Leftovers());
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
}

// Another user of a folder without the sticky bit may rename a new file once it has
// its name, and put a link to the converting user's own secret in its place.
int LinkatThenSwap(int from_folder, const char* from, int to_folder, const char* to, int flags) {
  int linked = reinterpret_cast<int (*)(int, const char*, int, const char*, int)>(
      RealSystemCall("linkat"))(from_folder, from, to_folder, to, flags);
  std::string moved = std::string(to) + ".moved";
  if (linked == 0 && (rename(to, moved.c_str()) != 0 || symlink("secret", to) != 0)) _exit(91);
  return linked;
}

TEST_F(OtherPartiesTest, NewFileSwappedByAnotherUserIsNotRead) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  chmod(".", 0777);
  chmod("Am01.txt", 0666);
  chmod("Am01.kdp", 0666);
  WriteFile("secret", "nobody's own");
  ASSERT_EQ(0, chown("secret", kNobody, kNobody));
  chmod("secret", 0600);
  // Written into root's list by nobody: from the file itself, not its name.
  EXPECT_EQ(0, InChild(true, [] {
              OverrideSystemCall("linkat", reinterpret_cast<SystemCall>(LinkatThenSwap));
              return ConvertedWithoutMessage();
            }));
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  // Renamed into place: refused, as its name no longer names it.
  WriteFile("Am01.txt", "old list");
  ASSERT_TRUE(OverrideSystemCall("linkat", reinterpret_cast<SystemCall>(LinkatThenSwap)));
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
}

// A converter killed but not yet reaped by its parent is gone all the same.
TEST_F(OtherPartiesTest, LeftoversOfAZombieAreRepaired) {
  pid_t child = fork();
  if (child == 0) {
    calls_before_kill = 1;  // the list in place, then killed before the stub
    OverrideSystemCall("rename", reinterpret_cast<SystemCall>(RenameThenDie));
    ConvertMission("Am", "01");
    _exit(0);
  }
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(child));
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(path).find(") Z ") != std::string::npos; }));
  WriteFile("__Am/01/bad\n", "x");
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("old stub", ReadFile("Am01.kdp"));
  EXPECT_EQ(std::vector<std::string>{}, Leftovers());
  waitpid(child, nullptr, 0);
}

// A second converter of the same mission, in another process.
TEST_F(OtherPartiesTest, SecondConverterWaitsForTheFirst) {
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  pid_t holder = fork();
  if (holder == 0) {
    int folder = open(".", O_RDONLY | O_DIRECTORY);
    flock(folder, LOCK_EX);
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    usleep(500 * 1000);  // a long conversion
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(1, read(ready[0], &byte, 1));
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_TRUE(messages.empty());
  waitpid(holder, nullptr, 0);

  // One that holds it past the wait: the second says so and changes nothing.
  holder = fork();
  if (holder == 0) {
    int folder = open(".", O_RDONLY | O_DIRECTORY);
    flock(folder, LOCK_EX);
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    usleep((kMissionBusyWaitMs + 1500) * 1000);
    _exit(0);
  }
  ASSERT_EQ(1, read(ready[0], &byte, 1));
  WriteFile("Am01.txt", "old list");
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ(std::vector<std::string>{"Jiné okno právě převádí misi v této složce hry. "
                                     "Zkuste to znovu, až převod skončí."},
            messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
}

}  // namespace
#endif
