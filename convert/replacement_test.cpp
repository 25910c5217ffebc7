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

TEST_F(ReplacementTest, FailureAfterBothFilesAreCompleteKeepsBoth) {
  struct Fault {
    const char* call;
    SystemCall replacement;
    const char* message;
    bool without_links;  // the old list is kept as a copy
  };
  const Fault faults[] = {
      {kMove, kMoveFailingForStub, "Soubor Am01.kdp nelze zapsat!", false},  // list was in place
      {"fclose", reinterpret_cast<SystemCall>(CloseFailing), "Soubor Am01.txt nelze zapsat!",
       false},
      // the stub's content fails after the list's was complete
      {"fclose", reinterpret_cast<SystemCall>(CloseFailingLater), "Soubor Am01.kdp nelze zapsat!",
       false},
#ifndef _WIN32
      {kMove, kMoveFailingForStub, "Soubor Am01.kdp nelze zapsat!", true},
#endif
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.message);
    messages.clear();
    closes_before_failure = 1;
    ASSERT_TRUE(OverrideSystemCall(fault.call, fault.replacement));
#ifndef _WIN32
    if (fault.without_links) OverrideSystemCall("link", reinterpret_cast<SystemCall>(LinkFailing));
#endif
    ConvertMission("Am", "01");
    OverrideSystemCall(fault.call, nullptr);
    OverrideSystemCall("link", nullptr);
    EXPECT_EQ(std::vector<std::string>{fault.message}, messages);
    ExpectOldFilesOnly();
  }
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
  // A list written into the held file is given its old content back when the stub
  // then fails.
  WriteFile("__Am/01/newer.dat", "x");
  ASSERT_TRUE(OverrideSystemCall(kMove, kMoveFailingForStub));
  ConvertMission("Am", "01");
  OverrideSystemCall(kMove, nullptr);
  EXPECT_EQ((std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}), messages);
  EXPECT_EQ(second_list, ReadFile("Am01.txt"));
#ifdef _WIN32
  // A copy of the held list cut short by a failed read is no copy: the list stays.
  messages.clear();
  reads_before_failure = 1;
  ASSERT_TRUE(OverrideSystemCall("ReadFile", reinterpret_cast<SystemCall>(ReadFailing)));
  ConvertMission("Am", "01");
  OverrideSystemCall("ReadFile", nullptr);
  EXPECT_EQ((std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}), messages);
  EXPECT_EQ(second_list, ReadFile("Am01.txt"));
  EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
#endif
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
