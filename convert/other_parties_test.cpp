// What a conversion does when something else touches its files: a second converter,
// a converter killed at any step, another user's file in a shared folder, a link or
// a leftover another user planted.
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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
    for (const char* call : {"linkat", "write", "unlink", "ftruncate"}) {
      OverrideSystemCall(call, nullptr);
    }
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

// A converter killed at the k-th write, link, rename, cut or removal it makes, for
// every k. Under ASan every process costs several times more: there the first
// calls (lock, leftovers, temporaries) are each killed at, then every fifth.
#ifdef KORVIDANE_SANITIZE
const int kEachCallUpTo = 16, kStride = 5;
#else
const int kEachCallUpTo = 0, kStride = 1;
#endif
int calls_before_kill = 0;
void CountOrDie() {
  if (calls_before_kill-- == 0) raise(SIGKILL);
}
ssize_t WriteThenDie(int fd, const void* bytes, size_t size) {
  CountOrDie();
  return reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(RealSystemCall("write"))(
      fd, bytes, size > 8 ? 8 : size);  // short writes, so that a kill falls amid a copy
}
int RenameThenDie(const char* from, const char* to) {
  CountOrDie();
  return reinterpret_cast<int (*)(const char*, const char*)>(RealSystemCall("rename"))(from, to);
}
int LinkatThenDie(int from_folder, const char* from, int to_folder, const char* to, int flags) {
  CountOrDie();
  return reinterpret_cast<int (*)(int, const char*, int, const char*, int)>(
      RealSystemCall("linkat"))(from_folder, from, to_folder, to, flags);
}
int UnlinkThenDie(const char* name) {
  CountOrDie();
  return reinterpret_cast<int (*)(const char*)>(RealSystemCall("unlink"))(name);
}
int FtruncateThenDie(int fd, off_t size) {
  CountOrDie();
  return reinterpret_cast<int (*)(int, off_t)>(RealSystemCall("ftruncate"))(fd, size);
}

TEST_F(OtherPartiesTest, KillAtAnyStepNeverLeavesANewListWithoutItsStub) {
  const std::string old_list(1600, 'o');  // long enough for a copy of many writes
  struct Case {
    const char* what;
    bool shared;         // another user's list, written in place
    bool unnamed_files;  // the new file has no name until complete
    bool old_files;
    bool second_name;  // the list has another name too: written in place
    int steps;         // at least
  };
  // An updater that ends at once: the stand-in's records are not looked at here, and
  // its commands would cost more than the conversions under test.
  WriteFile("vozedudo.exe", "#!/bin/sh\n");
  auto start = std::chrono::steady_clock::now();
  for (Case test : {Case{"renamed", false, true, true, false, 4},
                    Case{"renamed, named new files", false, false, true, false, 2},
                    Case{"first conversion", false, true, false, false, 4},
                    Case{"a list of two names", false, true, true, true, 150},
                    Case{"another user's list", true, true, true, false, 150}}) {
    if (test.shared && geteuid() != 0) {
      GTEST_SKIP() << "the other cases passed; another user's list needs root";
    }
    SCOPED_TRACE(test.what);
    chmod(".", 0777);
    bool finished = false;
    int kills = 0;
    for (int k = 0; !finished && k < 2000; k += k < kEachCallUpTo ? 1 : kStride) {
      SCOPED_TRACE(k);
      for (const char* name : {"Am01.txt", "Am01.kdp", "backup.txt"}) RemoveFile(name);
      if (test.old_files) {
        WriteFile("Am01.txt", old_list);
        WriteFile("Am01.kdp", "old stub");
        chmod("Am01.txt", 0666);
        chmod("Am01.kdp", 0666);
      }
      if (test.second_name) {
        ASSERT_EQ(0, link("Am01.txt", "backup.txt"));
      }
      int code = InChild(test.shared, [k, test] {
        calls_before_kill = k;
        if (!test.unnamed_files) {
          OverrideSystemCall("open", reinterpret_cast<SystemCall>(OpenWithoutUnnamedFiles));
        }
        OverrideSystemCall("write", reinterpret_cast<SystemCall>(WriteThenDie));
        OverrideSystemCall("rename", reinterpret_cast<SystemCall>(RenameThenDie));
        OverrideSystemCall("linkat", reinterpret_cast<SystemCall>(LinkatThenDie));
        OverrideSystemCall("unlink", reinterpret_cast<SystemCall>(UnlinkThenDie));
        OverrideSystemCall("ftruncate", reinterpret_cast<SystemCall>(FtruncateThenDie));
        return ConvertedWithoutMessage();
      });
      finished = code == 0;
      ASSERT_TRUE(finished || code == 128 + SIGKILL) << code;
      kills += finished ? 0 : 1;
      // A new list never stands without its stub; renamed, a list is old or new.
      std::string list = ReadFile("Am01.txt");
      if (list == kNewList) {
        EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
      }
      if (!test.shared && !test.second_name) {
        EXPECT_TRUE(list == kNewList || list == (test.old_files ? old_list : "")) << list.size();
      }
      // The same user's next conversion writes both, and leaves nothing beside them.
      EXPECT_EQ(0, InChild(test.shared, ConvertedWithoutMessage));
      EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
      EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
      EXPECT_EQ(std::vector<std::string>{}, Leftovers());
      if (test.second_name) {
        EXPECT_EQ(kNewList, ReadFile("backup.txt"));
      }
    }
    // How far it got, should the test run out of time.
    printf("%s: killed %d times, %.1f s in\n", test.what, kills,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    fflush(stdout);
    EXPECT_TRUE(finished);
    int sampled = test.steps <= kEachCallUpTo
                      ? test.steps
                      : kEachCallUpTo + (test.steps - kEachCallUpTo) / kStride;
    EXPECT_GE(kills, sampled);  // killed at every step sampled, amid copies too
  }
}

// What a killed converter left is removed under the lock, and only what is the
// user's own: another user's file or link of that name stays, and is not used.
TEST_F(OtherPartiesTest, OnlyTheUsersOwnLeftoversAreRemoved) {
  WriteFile(".Am01.txt.new", "torn");
  WriteFile(".Am01.kdp.backup", "old stub");
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_EQ(std::vector<std::string>{}, Leftovers());
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  chmod(".", 01777);
  chmod("Am01.txt", 0666);
  WriteFile("secret", "root's own");
  chmod("secret", 0600);
  WriteFile(".Am01.txt.new", "planted");
  ASSERT_EQ(0, chown(".Am01.txt.new", kNobody, kNobody));
  ASSERT_EQ(0, symlink("secret", ".Am01.kdp.new"));
  ASSERT_EQ(0, symlink("secret", ".Am01.txt.backup"));
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
  EXPECT_EQ("planted", ReadFile(".Am01.txt.new"));
  EXPECT_EQ("root's own", ReadFile("secret"));
  EXPECT_EQ((std::vector<std::string>{".Am01.kdp.new", ".Am01.txt.backup", ".Am01.txt.new"}),
            Leftovers());
  // In a folder the user may not list, no lock is taken, and nothing is removed.
  for (const char* name : {".Am01.txt.new", ".Am01.kdp.new", ".Am01.txt.backup"}) RemoveFile(name);
  WriteFile(".Am01.txt.new", "torn");
  ASSERT_EQ(0, chown(".Am01.txt.new", kNobody, kNobody));
  chmod(".", 0733);
  EXPECT_EQ(1, InChild(true, ConvertedWithoutMessage));
  chmod(".", 0777);
  EXPECT_EQ("torn", ReadFile(".Am01.txt.new"));
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
  // Renamed into place: refused, as its name no longer names it (the stub's, which
  // goes first).
  WriteFile("Am01.txt", "old list");
  WriteFile("Am01.kdp", "old stub");
  ASSERT_TRUE(OverrideSystemCall("linkat", reinterpret_cast<SystemCall>(LinkatThenSwap)));
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}, messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("old stub", ReadFile("Am01.kdp"));
  EXPECT_EQ("nobody's own", ReadFile("secret"));
}

// A second converter of the same mission, in another process.
int ready_pipe = -1;
int entries_before_wait = 0;
int wait_ms = 0;
ssize_t GetdentsThenWait(int folder, void* entries, size_t size) {
  if (entries_before_wait-- == 0) {
    char byte = 1;
    if (write(ready_pipe, &byte, 1) != 1) _exit(3);
    usleep(wait_ms * 1000);
  }
  return GetdentsOneByOne(folder, entries, size);
}

// A converter that is under way when the call returns, and holds the mission for
// about hold_ms.
pid_t StartSlowConverter(int hold_ms) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    ready_pipe = ready[1];
    wait_ms = hold_ms;
    OverrideSystemCall("getdents64", reinterpret_cast<SystemCall>(GetdentsThenWait));
    int converted = ConvertMission("Am", "01");
    WriteFile("first.done", "");
    _exit(converted ? 0 : 1);
  }
  close(ready[1]);
  char byte = 0;
  bool under_way = read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  return under_way ? child : -1;
}

TEST_F(OtherPartiesTest, SecondConverterWaitsForTheFirst) {
  pid_t first = StartSlowConverter(500);
  ASSERT_LT(0, first);
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(Exists("first.done"));  // the second began only after the first ended
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

  // One that holds it past the wait: the second says so and changes nothing.
  first = StartSlowConverter(kMissionBusyWaitMs + 1500);
  ASSERT_LT(0, first);
  WriteFile("Am01.txt", "old list");
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ(std::vector<std::string>{"Jiné okno právě převádí misi v této složce hry. "
                                     "Zkuste to znovu, až převod skončí."},
            messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
}

}  // namespace
#endif
