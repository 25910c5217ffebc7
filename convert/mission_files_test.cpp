// The list file and the stub byte for byte, and what a failed write leaves behind.
#include <filesystem>
#include <map>
#include <string>

#include "convert/convert.h"
#include "tests/test_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using MissionFilesTest = GameFolderTest;

// The bytes a name has in the list: the ANSI enumeration returns "á" as E1 (code
// pages 1250 and 1252 alike); elsewhere names stay UTF-8.
#ifdef _WIN32
const char kAcuteInList[] = "\xE1";
#else
const char kAcuteInList[] = "\xC3\xA1";
#endif

std::string EntryLine(const std::string& campaign, const std::string& mission,
                      const std::string& name) {
  std::string folder = "__" + campaign + "\\" + mission + "\\";
  return "missions\\" + folder + name + "#" + folder + name + "\r\n";
}

TEST_F(MissionFilesTest, EmptyFolderGivesOnlyTheStubLine) {
  MakeFolder("__Am/01");
  EXPECT_EQ(kMissionListWritten, WriteMissionList("Am", "01"));
  EXPECT_EQ(std::string(" Am01.kdp\r\n"), ReadFile("Am01.txt"));
  EXPECT_EQ(11u, ReadFile("Am01.txt").size());
}

TEST_F(MissionFilesTest, ListsEveryEntryWithItsNameUnchanged) {
  // name on disk -> its bytes in the list
  std::map<std::string, std::string> names = {
      {"a.txt", "a.txt"},
      {"sub", "sub"},
      {".hidden", ".hidden"},
      {"two words.dat", "two words.dat"},
      {"100%s%d.dat", "100%s%d.dat"},
      {"a#b.dat", "a#b.dat"},
      {"mapa_\xC3\xA1.dat", std::string("mapa_") + kAcuteInList + ".dat"},
      {"!first", "!first"},  // sorts before "." and ".."
      {"-", "-"},
  };
  MakeFolder("__Am/01");
  for (const auto& name : names) {
    if (name.first == "sub") continue;
    WriteFile("__Am/01/" + name.first, "x");
  }
  MakeFolder("__Am/01/sub/deeper");
  WriteFile("__Am/01/sub/deeper/not-listed.dat", "x");

  ASSERT_EQ(kMissionListWritten, WriteMissionList("Am", "01"));

  std::string expected = " Am01.kdp\r\n";
  for (const std::string& name : ListFolderInOrder("__Am/01")) {
    expected += EntryLine("Am", "01", names.at(name));
  }
  EXPECT_EQ(expected, ReadFile("Am01.txt"));
  EXPECT_EQ(names.size(), ListFolder("__Am/01").size());
}

// More lines than are written at once (about 165 KB): all of them, in order.
TEST_F(MissionFilesTest, FolderLargerThanOneWriteIsListedWhole) {
  MakeFolder("__Am/01");
  for (int i = 0; i < 500; ++i) {
    WriteFile("__Am/01/" + std::string(150, static_cast<char>('a' + i % 26)) + std::to_string(i),
              "x");
  }
  ASSERT_EQ(kMissionListWritten, WriteMissionList("Am", "01"));
  std::string expected = " Am01.kdp\r\n";
  for (const std::string& name : ListFolderInOrder("__Am/01")) {
    expected += EntryLine("Am", "01", name);
  }
  EXPECT_EQ(expected, ReadFile("Am01.txt"));
}

TEST_F(MissionFilesTest, LetteredMissionOfTheOtherCampaign) {
  MakeFolder("__Ru/12a");
  WriteFile("__Ru/12a/map.dat", "x");
  ASSERT_EQ(kMissionListWritten, WriteMissionList("Ru", "12a"));
  EXPECT_EQ(std::string(" Ru12a.kdp\r\nmissions\\__Ru\\12a\\map.dat#__Ru\\12a\\map.dat\r\n"),
            ReadFile("Ru12a.txt"));
  EXPECT_EQ(1, WritePackageStub("Ru", "12a"));
  EXPECT_EQ(ExpectedStub(), ReadFile("Ru12a.kdp"));
}

TEST_F(MissionFilesTest, ExistingFilesAreReplacedWhole) {
  MakeFolder("__Am/01");
  WriteFile("Am01.txt", std::string(10000, 'L'));
  WriteFile("Am01.kdp", std::string(5000, '\n'));
  ASSERT_EQ(kMissionListWritten, WriteMissionList("Am", "01"));
  ASSERT_EQ(1, WritePackageStub("Am", "01"));
  EXPECT_EQ(std::string(" Am01.kdp\r\n"), ReadFile("Am01.txt"));
  EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
  EXPECT_EQ(90u, ReadFile("Am01.kdp").size());
  // Nothing of the temporary files is left over.
  EXPECT_EQ((std::vector<std::string>{"Am01.kdp", "Am01.txt", "__Am"}), ListFolder("."));
}

TEST_F(MissionFilesTest, MissingFolderTouchesNothing) {
  WriteFile("Am01.txt", "old list");
  MakeFolder("__Am");
  WriteFile("__Am/02", "a file standing where the folder should be");
  EXPECT_EQ(kMissionFolderMissing, WriteMissionList("Am", "01"));
  EXPECT_EQ(kMissionFolderMissing, WriteMissionList("Am", "02"));
  EXPECT_EQ(kMissionFolderMissing, WriteMissionList("Ru", "15a"));
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ((std::vector<std::string>{"Am01.txt", "__Am"}), ListFolder("."));
}

TEST_F(MissionFilesTest, UnwritableTargetsKeepWhatIsThere) {
  MakeFolder("__Am/01");
  MakeFolder("Am01.txt");
  MakeFolder("Am01.kdp");
  EXPECT_EQ(kMissionListNotWritten, WriteMissionList("Am", "01"));
  EXPECT_EQ(0, WritePackageStub("Am", "01"));
  EXPECT_TRUE(IsFolder("Am01.txt"));
  EXPECT_TRUE(IsFolder("Am01.kdp"));
  EXPECT_EQ((std::vector<std::string>{"Am01.kdp", "Am01.txt", "__Am"}), ListFolder("."));
}

TEST_F(MissionFilesTest, NameThatCannotBeListedFaithfullyIsRefused) {
#ifdef _WIN32
  // Not in any single-byte code page; and a letter whose look-alike ("a" for "å",
  // which code page 1250 lacks; "r" for "ř", which 1252 lacks) names another file of
  // the folder.
  const char* const bad_names[] = {"\xE6\x97\xA5\xE6\x9C\xAC.dat",
                                   GetACP() == 1250 ? "\xC3\xA5.dat" : "\xC5\x99.dat"};
#else
  const char* const bad_names[] = {"line\nbreak.dat"};
#endif
  WriteFile("Am01.txt", "old list");
  for (const char* bad_name : bad_names) {
    SCOPED_TRACE(bad_name);
    MakeFolder("__Am/01");
    WriteFile("__Am/01/a.dat", "x");
    WriteFile(std::string("__Am/01/") + bad_name, "x");
    EXPECT_EQ(kMissionEntryNameInvalid, WriteMissionList("Am", "01"));
    EXPECT_EQ("old list", ReadFile("Am01.txt"));
    EXPECT_EQ((std::vector<std::string>{"Am01.txt", "__Am"}), ListFolder("."));
    std::filesystem::remove_all(PathOf("__Am"));
  }
}

#ifdef _WIN32
TEST_F(MissionFilesTest, NameTooLongForItsFullPathIsRefused) {
  // The updater opens "__Am\01\NAME", which Windows makes full before it counts it
  // against MAX_PATH.
  MakeFolder("__Am/01");
  wchar_t full[MAX_PATH];
  size_t folder_length = GetFullPathNameW(L"__Am\\01\\", MAX_PATH, full, nullptr);
  ASSERT_LT(folder_length + 2, static_cast<size_t>(MAX_PATH));
  std::string fits(MAX_PATH - 1 - folder_length, 'n');
  ASSERT_LE(fits.size() + 1, 255u);  // a name the file system takes
  WriteFile("__Am/01/" + fits, "x");
  EXPECT_EQ(kMissionListWritten, WriteMissionList("Am", "01"));
  EXPECT_EQ(" Am01.kdp\r\n" + EntryLine("Am", "01", fits), ReadFile("Am01.txt"));
  RemoveFile("__Am/01/" + fits);
  WriteFile("__Am/01/" + fits + "n", "x");
  EXPECT_EQ(kMissionEntryNameInvalid, WriteMissionList("Am", "01"));
}
#else
TEST_F(MissionFilesTest, BackslashInANameIsRefused) {
  // In the list it would read as one more folder level.
  MakeFolder("__Am/01");
  WriteFile("__Am/01/a\\b.dat", "x");
  EXPECT_EQ(kMissionEntryNameInvalid, WriteMissionList("Am", "01"));
  EXPECT_FALSE(Exists("Am01.txt"));
}

// Runs body in a child process whose files may grow to limit bytes at most, as on a
// full disk, and returns the child's exit code (100 + the signal that ended it).
int WithFileSizeLimit(rlim_t limit, int (*body)()) {
  pid_t child = fork();
  if (child == 0) {
    // SIGXFSZ keeps its default, which would end the program: the writer must not
    // let it.
    struct rlimit small = {limit, limit};
    setrlimit(RLIMIT_FSIZE, &small);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(MissionFilesTest, FullDiskKeepsThePreviousFiles) {
  MakeFolder("__Am/01");
  for (int i = 0; i < 200; ++i) {
    WriteFile("__Am/01/entry-with-a-rather-long-name-" + std::to_string(i) + ".dat", "x");
  }
  WriteFile("Am01.txt", "old list");
  WriteFile("Am01.kdp", "old stub");

  EXPECT_EQ(1, WithFileSizeLimit(4096, [] {
              return WriteMissionList("Am", "01") == kMissionListNotWritten ? 1 : 0;
            }));
  EXPECT_EQ(1, WithFileSizeLimit(64, [] { return WritePackageStub("Am", "01") == 0 ? 1 : 0; }));
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("old stub", ReadFile("Am01.kdp"));
  EXPECT_EQ((std::vector<std::string>{"Am01.kdp", "Am01.txt", "__Am"}), ListFolder("."));
}
#endif

}  // namespace
