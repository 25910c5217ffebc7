// Replacement on POSIX: links written through, what a rename would lose, signals.
#ifndef _WIN32
#include <grp.h>
#include <sys/xattr.h>

#include "convert/replacement_test.h"

namespace {

TEST_F(ReplacementTest, LinkedListIsWrittenThroughAndKeepsOwnerAndMode) {
  MakeFolder("kept");
  WriteFile("kept/list.txt", "old list");
  chmod("kept/list.txt", 0640);
  bool root = geteuid() == 0;  // only root can give the file to another owner
  if (root) {
    ASSERT_EQ(0, chown("kept/list.txt", 65534, 65534));
  }
  RemoveFile("Am01.txt");
  ASSERT_EQ(0, symlink("kept/list.txt", "Am01.txt"));
  // A link to something else than a plain file is refused, not replaced by a file,
  // and so is a stub that is the list itself, by a symbolic or a hard link.
  ASSERT_EQ(0, mkfifo("kept/pipe", 0666));
  for (const char* stub : {"kept/list.txt", "kept/pipe", "hard link"}) {
    SCOPED_TRACE(stub);
    messages.clear();
    RemoveFile("Am01.kdp");
    if (strcmp(stub, "hard link") == 0) {
      ASSERT_EQ(0, link("kept/list.txt", "Am01.kdp"));
    } else {
      ASSERT_EQ(0, symlink(stub, "Am01.kdp"));
    }
    ConvertMission("Am", "01");
    EXPECT_EQ((std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}), messages);
    EXPECT_EQ("old list", ReadFile("kept/list.txt"));
  }
  struct stat pipe;
  ASSERT_EQ(0, stat("kept/pipe", &pipe));
  EXPECT_TRUE(S_ISFIFO(pipe.st_mode));

  messages.clear();
  RemoveFile("Am01.kdp");
  ConvertMission("Am", "01");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(kNewList, ReadFile("kept/list.txt"));
  struct stat link;
  ASSERT_EQ(0, lstat("Am01.txt", &link));
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  struct stat list;
  ASSERT_EQ(0, stat("kept/list.txt", &list));
  EXPECT_EQ(0640u, list.st_mode & 0777);
  if (root) {
    EXPECT_EQ(65534u, list.st_uid);
  }
  EXPECT_EQ((std::vector<std::string>{"list.txt", "pipe"}), ListFolder("kept"));
}

// A temporary's name that another party took is never written through.
TEST_F(ReplacementTest, TemporaryNameTakenByALinkIsNotFollowed) {
  WriteFile("secret", "mine alone");
  ASSERT_EQ(0, symlink("secret", ".Am01.txt.new"));
  for (bool unnamed_files : {true, false}) {
    SCOPED_TRACE(unnamed_files);
    messages.clear();
    if (!unnamed_files) {
      OverrideSystemCall("open", reinterpret_cast<SystemCall>(OpenWithoutUnnamedFiles));
    }
    EXPECT_EQ(0, ConvertMission("Am", "01"));
    EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
    EXPECT_EQ("mine alone", ReadFile("secret"));
    EXPECT_EQ("old list", ReadFile("Am01.txt"));
  }
}

// A conversion in a child process that reads its folder slowly, after telling the
// parent through ready that it is under way.
int ready_pipe = -1;
ssize_t GetdentsSlowly(int folder, void* entries, size_t size) {
  static int calls = 0;
  if (++calls == 20) {
    char byte = 1;
    if (write(ready_pipe, &byte, 1) != 1) _exit(3);
  }
  if (calls > 20) usleep(20000);
  return GetdentsOneByOne(folder, entries, size);
}

TEST_F(ReplacementTest, SignalMidwayLeavesNoTemporaryFile) {
  for (int i = 0; i < 300; ++i) WriteFile("__Am/01/part" + std::to_string(i), "x");
  struct Case {
    int signal_number;
    bool unnamed_files;    // the new file has no name until complete
    bool ignored = false;  // as under nohup: the conversion goes on
  };
  for (Case test : {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false},
                    Case{SIGKILL, true}, Case{SIGINT, true}, Case{SIGHUP, false, true}}) {
    SCOPED_TRACE(test.signal_number);
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    pid_t child = fork();
    if (child == 0) {
      for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) signal(signal_number, SIG_DFL);
      if (test.ignored) signal(test.signal_number, SIG_IGN);
      ready_pipe = ready[1];
      OverrideSystemCall("getdents64", reinterpret_cast<SystemCall>(GetdentsSlowly));
      if (!test.unnamed_files) {
        OverrideSystemCall("open", reinterpret_cast<SystemCall>(OpenWithoutUnnamedFiles));
      }
      _exit(ConvertMission("Am", "01") && messages.empty() ? 0 : 1);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(1, read(ready[0], &byte, 1));
    close(ready[0]);
    // The temporary file the signal must not leave behind exists, or has no name.
    EXPECT_EQ(test.unnamed_files ? 4u : 5u, ListFolder(".").size());
    kill(child, test.signal_number);
    int status = 0;
    waitpid(child, &status, 0);
    if (test.ignored) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
      WriteFile("Am01.txt", "old list");
      WriteFile("Am01.kdp", "old stub");
      continue;
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == test.signal_number) << status;
    ExpectOldFilesOnly();
  }
  // Between conversions, Ctrl-C ends the program at once: nothing holds it back.
  for (int good : {1, 0}) {
    if (!good) WriteFile("__Am/01/bad\n", "x");
    EXPECT_EQ(good, ConvertMission("Am", "01"));
    sigset_t blocked;
    sigprocmask(SIG_BLOCK, nullptr, &blocked);
    EXPECT_FALSE(sigismember(&blocked, SIGINT)) << good;
  }
}

// A signal that comes while the list is written into waits until that is done, and
// its backup gone: only a kill can tear the list.
ssize_t InterruptedWrite(int fd, const void* bytes, size_t size) {
  raise(SIGINT);
  return reinterpret_cast<decltype(&write)>(RealSystemCall("write"))(fd, bytes, size);
}

TEST_F(ReplacementTest, SignalWaitsWhileTheListIsWrittenInto) {
  ASSERT_EQ(0, link("Am01.txt", "other.txt"));
  pid_t child = fork();
  if (child == 0) {
    signal(SIGINT, SIG_DFL);
    OverrideSystemCall("write", reinterpret_cast<SystemCall>(InterruptedWrite));
    ConvertMission("Am", "01");
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_EQ((std::vector<std::string>{"Am01.kdp", "Am01.txt", "__Am", "other.txt", "vozedudo.exe"}),
            ListFolder("."));
}

// A read that a signal interrupts is tried again, as a write is.
int reads_interrupted = 0;
ssize_t ReadInterruptedOnce(int fd, void* bytes, size_t size) {
  if (reads_interrupted++ == 0) {
    errno = EINTR;
    return -1;
  }
  return reinterpret_cast<decltype(&read)>(RealSystemCall("read"))(fd, bytes, size);
}

TEST_F(ReplacementTest, InterruptedReadIsTriedAgain) {
  ASSERT_EQ(0, link("Am01.txt", "other.txt"));
  ASSERT_TRUE(OverrideSystemCall("read", reinterpret_cast<SystemCall>(ReadInterruptedOnce)));
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_EQ(kNewList, ReadFile("other.txt"));
}

// What a rename would lose cannot always be seen: a list whose attributes, or which
// itself, cannot be looked at is written into. Only a file system that has no
// attributes at all is renamed over.
int look_error = 0;
ssize_t ListxattrFailing(const char*, char*, size_t) {
  errno = look_error;
  return -1;
}
int LstatFailingForTheList(const char* name, struct stat* status) {
  if (strcmp(name, "Am01.txt") == 0) {
    errno = look_error;
    return -1;
  }
  return reinterpret_cast<decltype(&lstat)>(RealSystemCall("lstat"))(name, status);
}

// A rename the system refuses (an attribute, a security module) may still leave the
// file writable.
int RenameOfTheListRefused(const char* source, const char* target) {
  if (strstr(source, ".Am01.txt.new")) {
    errno = look_error;
    return -1;
  }
  return reinterpret_cast<decltype(&rename)>(RealSystemCall("rename"))(source, target);
}

TEST_F(ReplacementTest, ListThatCannotBeLookedAtOrRenamedOverIsWrittenInto) {
  struct Case {
    const char* call;
    SystemCall failing;
    int error;
    bool in_place;
  } cases[] = {
      {"listxattr", reinterpret_cast<SystemCall>(ListxattrFailing), EIO, true},
      {"listxattr", reinterpret_cast<SystemCall>(ListxattrFailing), ENOTSUP, false},
      {"lstat", reinterpret_cast<SystemCall>(LstatFailingForTheList), EIO, true},
      {"rename", reinterpret_cast<SystemCall>(RenameOfTheListRefused), EPERM, true},
      {"rename", reinterpret_cast<SystemCall>(RenameOfTheListRefused), EACCES, true},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.call) + " " + strerror(test.error));
    struct stat before, after;
    ASSERT_EQ(0, stat("Am01.txt", &before));
    look_error = test.error;
    ASSERT_TRUE(OverrideSystemCall(test.call, test.failing));
    EXPECT_EQ(1, ConvertMission("Am", "01"));
    OverrideSystemCall(test.call, nullptr);
    ASSERT_EQ(0, stat("Am01.txt", &after));
    EXPECT_EQ(test.in_place, before.st_ino == after.st_ino);
    EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
    EXPECT_TRUE(messages.empty());
    WriteFile("Am01.txt", "old list");
  }
}

// Renaming the new list over the old one would lose what the old one has besides its
// content: a group its owner cannot give, or an ACL. It is written into instead.
TEST_F(ReplacementTest, ListKeepsItsGroupAndItsAcl) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the list to a second user";
  chmod(".", 0777);
  // nobody's own list in a group nobody is not in.
  ASSERT_EQ(0, chown("Am01.txt", 65534, 0));
  chmod("Am01.txt", 0664);
  chmod("Am01.kdp", 0666);
  pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(ConvertMission("Am", "01") && messages.empty() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  struct stat list;
  ASSERT_EQ(0, stat("Am01.txt", &list));
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_EQ(65534u, list.st_uid);
  EXPECT_EQ(0u, list.st_gid);

  // root's list that user nobody may write too, through an ACL: u::rw-, u:65534:rw-,
  // g::r--, m::rw-, o::r--.
  ASSERT_EQ(0, chown("Am01.txt", 0, 0));
  const uint32_t acl[] = {2,          0x00060001, 0xFFFFFFFF, 0x00060002, 65534,     0x00040004,
                          0xFFFFFFFF, 0x00060010, 0xFFFFFFFF, 0x00040020, 0xFFFFFFFF};
  if (setxattr("Am01.txt", "system.posix_acl_access", acl, sizeof acl, 0) != 0) {
    GTEST_SKIP() << "this file system takes no ACL";
  }
  WriteFile("__Am/01/more.dat", "x");
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_LT(0, getxattr("Am01.txt", "system.posix_acl_access", nullptr, 0));
  child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(ConvertMission("Am", "01") && messages.empty() ? 0 : 1);
  }
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
}  // namespace
#endif
