// What a failed, repeated or interrupted conversion leaves: the previous files or
// both new ones, never half, and no temporary files.
#include "convert/replacement_test.h"

namespace {

TEST_F(ReplacementTest, ListingThatBreaksOffReplacesNothing) {
  for (int i = 0; i < 5; ++i) WriteFile("__Am/01/part" + std::to_string(i), "x");
  entries_before_failure = 3;
  scans_closed = 0;
  ASSERT_TRUE(OverrideSystemCall(kNextEntry, kFailingNextEntry));
  ASSERT_TRUE(OverrideSystemCall(kCloseScan, kCountedCloseScan));
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Složku mise nelze přečíst!"}, messages);
  EXPECT_EQ(1, scans_closed);
  ExpectOldFilesOnly();
}

TEST_F(ReplacementTest, FailureBeforeTheListIsInPlaceKeepsTheOldList) {
  struct Fault {
    const char* call;
    SystemCall replacement;
    const char* message;
  };
  const Fault faults[] = {
      {"fclose", reinterpret_cast<SystemCall>(CloseFailing), "Soubor Am01.txt nelze zapsat!"},
      // the stub's content fails after the list's was complete
      {"fclose", reinterpret_cast<SystemCall>(CloseFailingLater), "Soubor Am01.kdp nelze zapsat!"},
      {kMove, kMoveFailingForStub, "Soubor Am01.kdp nelze zapsat!"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.message);
    messages.clear();
    closes_before_failure = 1;
    ASSERT_TRUE(OverrideSystemCall(fault.call, fault.replacement));
    EXPECT_EQ(0, ConvertMission("Am", "01"));
    OverrideSystemCall(fault.call, nullptr);
    EXPECT_EQ(std::vector<std::string>{fault.message}, messages);
    ExpectOldFilesOnly();
  }
  // The stub went in place first: the list that fails then leaves the old list
  // beside a stub of the same 90 bytes, or none where there was none.
  for (bool stub_there : {true, false}) {
    SCOPED_TRACE(stub_there);
    messages.clear();
    if (!stub_there) RemoveFile("Am01.kdp");
    ASSERT_TRUE(OverrideSystemCall(kMove, kMoveFailingForList));
    EXPECT_EQ(0, ConvertMission("Am", "01"));
    OverrideSystemCall(kMove, nullptr);
    EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
    EXPECT_EQ("old list", ReadFile("Am01.txt"));
    EXPECT_EQ(stub_there ? ExpectedStub() : "", ReadFile("Am01.kdp"));
    EXPECT_EQ(stub_there, Exists("Am01.kdp"));
  }
}

// A list that cannot be renamed over (another name on POSIX, a reader holding it
// on Windows) is written into, with a backup only while that lasts.
TEST_F(ReplacementTest, ListWrittenInPlaceGetsItsBackupBackOnFailure) {
#ifdef _WIN32
  HANDLE held = CreateFileA("Am01.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  const std::vector<std::string> files = {"Am01.kdp", "Am01.txt", "__Am", "vozedudo.exe"};
#else
  ASSERT_EQ(0, link("Am01.txt", "other.txt"));
  const std::vector<std::string> files = {"Am01.kdp", "Am01.txt", "__Am", "other.txt",
                                          "vozedudo.exe"};
#endif
  // Writes: the backup, the new content, the old content put back.
  ASSERT_TRUE(OverrideSystemCall(kWrite, kWriteFailing));
  writes_before_failure = 1;
  single_write_fails = true;
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ(files, ListFolder("."));

  // When not even the backup goes back, it stays, and the message names it.
  messages.clear();
  writes_before_failure = 1;
  single_write_fails = false;
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  OverrideSystemCall(kWrite, nullptr);
  EXPECT_EQ(std::vector<std::string>{std::string("Soubor Am01.txt nelze zapsat! Jeho předchozí "
                                                 "obsah je v souboru ") +
                                     kBackupName + "."},
            messages);
  EXPECT_EQ("old list", ReadFile(kBackupName));

  // The next conversion removes it, and writes into the list.
  messages.clear();
  WriteFile("release", "");
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
  EXPECT_FALSE(Exists(kBackupName));
#ifdef _WIN32
  CloseHandle(held);
#else
  EXPECT_EQ(kNewList, ReadFile("other.txt"));
#endif
  EXPECT_TRUE(WaitForFile("updater.done"));
}

// A file at the temporary's or the backup's name that no lock cleared is someone
// else's: it is never opened for writing, and the list stays as it was.
TEST_F(ReplacementTest, NamesTakenBesideTheListAreNotWrittenThrough) {
#ifdef _WIN32
  const char kTemporaryName[] = "Am01.txt.kdc-new";
  HANDLE held = CreateFileA("Am01.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
#else
  const char kTemporaryName[] = ".Am01.txt.new";
  ASSERT_EQ(0, link("Am01.txt", "other.txt"));
#endif
  // The list is written into, with a backup, unless the names beside it are taken.
  for (const char* taken : {kTemporaryName, kBackupName}) {
    SCOPED_TRACE(taken);
    WriteFile(taken, "someone else's");
    FileReplacement* list = BeginFileReplacement("Am01.txt");
    bool replaced = list && fputs("new list", ReplacementStream(list)) >= 0 &&
                    FinishFileContent(list) && PutFileInPlace(list);
    EndFileReplacement(list);
    EXPECT_FALSE(replaced);
    EXPECT_EQ("someone else's", ReadFile(taken));
    EXPECT_EQ("old list", ReadFile("Am01.txt"));
    RemoveFile(taken);
  }
#ifdef _WIN32
  CloseHandle(held);
#endif
}

TEST_F(ReplacementTest, FolderWhereTheStubGoesKeepsTheOldList) {
  RemoveFile("Am01.kdp");
  MakeFolder("Am01.kdp");
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}, messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_TRUE(IsFolder("Am01.kdp"));
}

TEST_F(ReplacementTest, ConvertingAgainWhileTheUpdaterReadsTheFiles) {
  WriteFile("hold", "");
  ConvertMission("Am", "01");
  ASSERT_TRUE(WaitForFile("updater.log"));  // it holds both files open now
  WriteFile("__Am/01/new.dat", "x");
  ConvertMission("Am", "01");
  EXPECT_TRUE(messages.empty());
  std::string second_list = ReadFile("Am01.txt");
  EXPECT_NE(std::string::npos, second_list.find("new.dat#__Am\\01\\new.dat\r\n"));
  EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
  WriteFile("release", "");
  EXPECT_TRUE(WaitUntil([] { return LineCount("updater.runs") == 2; }));
}

TEST_F(ReplacementTest, ReadOnlyListIsNotReplaced) {
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesA("Am01.txt", FILE_ATTRIBUTE_READONLY));
  ConvertMission("Am", "01");
  SetFileAttributesA("Am01.txt", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
#else
  // Root may write anything: the user here is an ordinary one.
  list_mode_ = 0444;
  chmod("Am01.txt", list_mode_);
  chmod(".", 0777);
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    ConvertMission("Am", "01");
    _exit(messages == std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"} ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // No write bit at all stops root too, as the attribute does on Windows.
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
  struct stat mode;
  ASSERT_EQ(0, stat("Am01.txt", &mode));
  EXPECT_EQ(0444u, mode.st_mode & 0777);
#endif
  ExpectOldFilesOnly();
}

}  // namespace
