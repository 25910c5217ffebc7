// Replacement on POSIX: links written through, an old file kept under a name, signals.
#ifndef _WIN32
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
  // and so is a stub that is the list itself.
  ASSERT_EQ(0, mkfifo("kept/pipe", 0666));
  for (const char* stub : {"kept/list.txt", "kept/pipe"}) {
    SCOPED_TRACE(stub);
    messages.clear();
    RemoveFile("Am01.kdp");
    ASSERT_EQ(0, symlink(stub, "Am01.kdp"));
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

TEST_F(ReplacementTest, OldListThatCannotBePutBackKeepsAName) {
  ASSERT_TRUE(
      OverrideSystemCall("rename", reinterpret_cast<SystemCall>(RenameFailingForStubAndOldList)));
  ConvertMission("Am", "01");
  EXPECT_EQ((std::vector<std::string>{"Soubor Am01.kdp nelze zapsat! Ani Am01.txt se nepodařilo "
                                      "vrátit do předchozího stavu."}),
            messages);
  std::vector<std::string> names = ListFolder(".");
  ASSERT_EQ(5u, names.size());
  EXPECT_EQ(0u, names[0].rfind(".Am01.txt.old.", 0)) << names[0];
  EXPECT_EQ("old list", ReadFile(names[0]));
}

// A conversion in a child process that reads its folder slowly, after telling the
// parent through ready that it is under way.
int ready_pipe = -1;
dirent* ReaddirSlowly(DIR* folder) {
  static int entries = 0;
  if (++entries == 20) {
    char byte = 1;
    if (write(ready_pipe, &byte, 1) != 1) _exit(3);
  }
  if (entries > 20) usleep(20000);
  return reinterpret_cast<decltype(&readdir)>(RealSystemCall("readdir"))(folder);
}

TEST_F(ReplacementTest, SignalMidwayLeavesNoTemporaryFile) {
  for (int i = 0; i < 300; ++i) WriteFile("__Am/01/part" + std::to_string(i), "x");
  struct Case {
    int signal_number;
    bool unnamed_files;  // the new file has no name until complete
  };
  for (Case test : {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false},
                    Case{SIGKILL, true}, Case{SIGINT, true}}) {
    SCOPED_TRACE(test.signal_number);
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    pid_t child = fork();
    if (child == 0) {
      for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) signal(signal_number, SIG_DFL);
      ready_pipe = ready[1];
      OverrideSystemCall("readdir", reinterpret_cast<SystemCall>(ReaddirSlowly));
      if (!test.unnamed_files) {
        OverrideSystemCall("open", reinterpret_cast<SystemCall>(OpenWithoutUnnamedFiles));
      }
      ConvertMission("Am", "01");
      _exit(0);
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
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == test.signal_number) << status;
    ExpectOldFilesOnly();
  }
}
}  // namespace
#endif
