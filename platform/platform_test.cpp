// The POSIX side of the platform layer: how a program is found and started where
// there is no Windows shell, which links are followed, folders listed, and the code
// page wine gives a Windows program.
#ifndef _WIN32
#include "platform/platform.h"

#include <locale.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "platform/permitted_links_posix.h"
#include "platform/wine_code_page_posix.h"
#include "tests/test_folder.h"

namespace {

class StartProgramTest : public GameFolderTest {
 protected:
  void SetUp() override {
    GameFolderTest::SetUp();
    const char* path = getenv("PATH");
    saved_path_ = path ? path : "";
    MakeFolder("bin");
    setenv("PATH", (folder_.string() + "/bin:" + saved_path_).c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", saved_path_.c_str(), 1);
    GameFolderTest::TearDown();
  }
  static void WriteScript(const std::string& name, const std::string& body) {
    WriteFile(name, "#!/bin/sh\n" + body);
    chmod(name.c_str(), 0755);
  }
  std::string saved_path_;
};

TEST_F(StartProgramTest, WindowsProgramIsStartedThroughWine) {
  WriteFile("vozedudo.exe", std::string("MZ\x90\0\3\0\0\0", 8));  // no execute permission
  WriteScript("bin/wine", "echo \"$*\" > wine.tmp; mv wine.tmp wine.log\n");
  // Only the updater is looked for in the game folder: a wine planted there is not run.
  WriteScript("wine", "echo planted > wine.tmp; mv wine.tmp wine.log\n");
  StartProgramHidden("vozedudo.exe", "Am01.txt");
  ASSERT_TRUE(WaitForFile("wine.log"));
  EXPECT_EQ("./vozedudo.exe Am01.txt\n", ReadFile("wine.log"));
}

TEST_F(StartProgramTest, WorkingDirectoryComesBeforePath) {
  WriteScript("bin/vozedudo.exe", "echo path > found.tmp; mv found.tmp found.log\n");
  MakeFolder("vozedudo.exe");  // not a program: passed over
  StartProgramHidden("vozedudo.exe", "Am01.txt");
  ASSERT_TRUE(WaitForFile("found.log"));
  EXPECT_EQ("path\n", ReadFile("found.log"));

  std::filesystem::remove("vozedudo.exe");
  WriteScript("vozedudo.exe", "echo here > found.tmp; mv found.tmp found.log\n");
  StartProgramHidden("vozedudo.exe", "Am01.txt");
  ASSERT_TRUE(WaitUntil([] { return ReadFile("found.log") == "here\n"; }));
}

int spawns = 0;
int SpawnCounted(pid_t* child, const char* path, const posix_spawn_file_actions_t* actions,
                 const posix_spawnattr_t* attributes, char* const* argv, char* const* env) {
  ++spawns;
  return reinterpret_cast<decltype(&posix_spawn)>(RealSystemCall("posix_spawn"))(
      child, path, actions, attributes, argv, env);
}

TEST_F(StartProgramTest, WindowsProgramWithoutWineIsNotStarted) {
  setenv("PATH", (folder_.string() + "/bin").c_str(), 1);
  WriteFile("vozedudo.exe", "MZ");
  spawns = 0;
  ASSERT_TRUE(OverrideSystemCall("posix_spawn", reinterpret_cast<SystemCall>(SpawnCounted)));
  EXPECT_EQ(0, StartProgramHidden("vozedudo.exe", "Am01.txt"));
  OverrideSystemCall("posix_spawn", nullptr);
  EXPECT_EQ(0, spawns);
}

// A Windows updater run by wine reads the list in the ANSI code page wine gives it,
// which follows the locale; a native one reads the names as they are.
TEST_F(StartProgramTest, ListNamesAreInTheCodePageOfAWindowsUpdater) {
  for (const char* needed : {"cs_CZ.UTF-8", "C.UTF-8", "ja_JP.UTF-8"}) {
    locale_t installed = newlocale(LC_CTYPE_MASK, needed, static_cast<locale_t>(0));
    if (!installed) GTEST_SKIP() << needed << " is not installed";
    freelocale(installed);
  }
  const char* saved = getenv("LC_ALL");
  std::string saved_all = saved ? saved : "";
  struct Case {
    const char* locale;
    const char* updater;
    const char* name;  // on disk
    int result;
    std::string listed;
  };
  const Case cases[] = {
      {"cs_CZ.UTF-8", "MZ", u8"zadání řádu.txt", kMissionListWritten,
       "zad\xE1n\xED \xF8\xE1"
       "du.txt"},
      {"C.UTF-8", "MZ", u8"řád.txt", kMissionEntryNameInvalid, ""},  // code page 1252 has no "ř"
      {"C.UTF-8", "#!/bin/sh\n", u8"řád.txt", kMissionListWritten, u8"řád.txt"},  // a script
      // Code page 932 holds "\xE8\xA1\xA8" with a backslash as its second byte, and has
      // "\xC2\xA5" only as a look-alike: the backslash itself.
      {"ja_JP.UTF-8", "MZ", u8"表.txt", kMissionListWritten, "\x95\\.txt"},
      {"ja_JP.UTF-8", "MZ", u8"a¥b.txt", kMissionEntryNameInvalid, ""},
      // Names a Windows program opening them would take for another file or a device.
      {"cs_CZ.UTF-8", "MZ", "mezera ", kMissionEntryNameInvalid, ""},
      {"cs_CZ.UTF-8", "MZ", "Nul.txt", kMissionEntryNameInvalid, ""},
      {"cs_CZ.UTF-8", "MZ", "a:b", kMissionEntryNameInvalid, ""},
      {"cs_CZ.UTF-8", "#!/bin/sh\n", "Nul.txt", kMissionListWritten, "Nul.txt"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.locale) + " " + test.name);
    std::filesystem::remove_all("__Am");
    MakeFolder("__Am/01");
    WriteFile(std::string("__Am/01/") + test.name, "x");
    setenv("LC_ALL", test.locale, 1);
    WriteFile("vozedudo.exe", test.updater);
    RemoveFile("Am01.txt");
    EXPECT_EQ(test.result, WriteMissionList("Am", "01"));
    if (test.result == kMissionListWritten) {
      EXPECT_EQ(
          " Am01.kdp\r\nmissions\\__Am\\01\\" + test.listed + "#__Am\\01\\" + test.listed + "\r\n",
          ReadFile("Am01.txt"));
    }
  }
  if (saved) {
    setenv("LC_ALL", saved_all.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

using PermittedLinksTest = GameFolderTest;

// Each link is read from the folder it stands in; an absolute one starts over.
TEST_F(PermittedLinksTest, ChainEndsAtTheFileItsLastLinkNames) {
  const std::string here = folder_.string();
  MakeFolder("links/sub");
  ASSERT_EQ(0, symlink("b", "links/a"));
  ASSERT_EQ(0, symlink((here + "/target").c_str(), "links/b"));
  ASSERT_EQ(0, symlink("sub/d", "links/c"));
  ASSERT_EQ(0, symlink("e", "links/sub/d"));
  ASSERT_EQ(0, symlink((here + "/links/sub/g").c_str(), "links/f"));
  ASSERT_EQ(0, symlink("h", "links/sub/g"));
  ASSERT_EQ(0, symlink("loop", "links/loop"));
  struct Case {
    const char* name;
    std::string resolved;
  } cases[] = {
      {"links/a", here + "/target"},
      {"links/c", "links/sub/e"},
      {"links/f", here + "/links/sub/h"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    char resolved[512];
    ASSERT_TRUE(ResolvePermittedLinks(test.name, resolved));
    EXPECT_EQ(test.resolved, resolved);
  }
  char resolved[512];
  EXPECT_FALSE(ResolvePermittedLinks("links/loop", resolved));
}

// As the kernel's protected_symlinks rule: a link is followed when it is the
// user's own or belongs to the owner of its folder.
TEST_F(PermittedLinksTest, OnlyLinksOfTheUserOrOfTheFoldersOwnerAreFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give links and folders to another user";
  const uid_t kNobody = 65534;
  MakeFolder("theirs");
  ASSERT_EQ(0, chown("theirs", kNobody, kNobody));
  ASSERT_EQ(0, symlink("target", "theirs/their_link"));
  ASSERT_EQ(0, lchown("theirs/their_link", kNobody, kNobody));
  ASSERT_EQ(0, symlink("target", "theirs/my_link"));
  ASSERT_EQ(0, symlink("target", "planted"));
  ASSERT_EQ(0, lchown("planted", kNobody, kNobody));
  for (const char* name : {"theirs/their_link", "theirs/my_link"}) {
    SCOPED_TRACE(name);
    char resolved[512];
    EXPECT_TRUE(ResolvePermittedLinks(name, resolved));
    EXPECT_STREQ("theirs/target", resolved);
  }
  char resolved[512];
  EXPECT_FALSE(ResolvePermittedLinks("planted", resolved));
}

using FolderScanTest = GameFolderTest;

// Only the folder itself and its parent are left out; other names may begin with dots.
TEST_F(FolderScanTest, NamesThatBeginWithDotsAreListed) {
  WriteFile("vozedudo.exe", "#!/bin/sh\n");  // a native reader takes names as they are
  chmod("vozedudo.exe", 0755);
  MakeFolder("__Am/01");
  for (const char* name : {".x", "..x", "...", "x.."})
    WriteFile(std::string("__Am/01/") + name, "x");
  FolderScan* scan = BeginFolderScan("__Am\\01\\*.*", "vozedudo.exe");
  ASSERT_NE(nullptr, scan);
  std::vector<std::string> listed;
  const char* name;
  FolderStep step;
  while ((step = NextFolderEntry(scan, &name)) == kFolderEntry) listed.push_back(name);
  EndFolderScan(scan);
  EXPECT_EQ(kFolderEnd, step);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ((std::vector<std::string>{"...", "..x", ".x", "x.."}), listed);
}

// Restores an environment variable, or its absence, when the test ends.
struct SavedVariable {
  explicit SavedVariable(const char* variable) : name(variable), set(getenv(variable)) {
    if (set) value = getenv(variable);
  }
  ~SavedVariable() { set ? setenv(name, value.c_str(), 1) : unsetenv(name); }
  const char* name;
  bool set;
  std::string value;
};

// The first locale variable set decides, by its language and, for Chinese, its
// territory; C, or a locale that is not installed, gives wine's 1252.
TEST(WineCodePageTest, FollowsTheLanguageOfTheLocaleInForce) {
  SavedVariable saved[] = {SavedVariable("LC_ALL"), SavedVariable("LC_CTYPE"),
                           SavedVariable("LANG")};
  struct Case {
    const char* all;  // nullptr: unset
    const char* ctype;
    const char* lang;
    unsigned code_page;
  } cases[] = {
      {nullptr, nullptr, nullptr, 1252},
      {nullptr, nullptr, "C", 1252},
      {"", "", "cs_CZ.UTF-8", 1250},
      {"C", "cs_CZ.UTF-8", "cs_CZ.UTF-8", 1252},
      {nullptr, "ja_JP.UTF-8", "cs_CZ.UTF-8", 932},
      {nullptr, nullptr, "cs_QQ.UTF-8", 1252},  // no such locale
      {nullptr, nullptr, "zh_TW.UTF-8", 950},
  };
  std::string missing;
  for (const Case& test : cases) {
    const char* in_force = test.all && *test.all       ? test.all
                           : test.ctype && *test.ctype ? test.ctype
                                                       : test.lang;
    SCOPED_TRACE(in_force ? in_force : "no locale");
    if (in_force && test.code_page != 1252) {  // the language's code page needs its locale
      locale_t installed = newlocale(LC_CTYPE_MASK, in_force, static_cast<locale_t>(0));
      if (!installed) {
        missing += std::string(" ") + in_force;
        continue;
      }
      freelocale(installed);
    }
    const char* values[] = {test.all, test.ctype, test.lang};
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    for (int i = 0; i < 3; ++i) {
      if (values[i]) {
        setenv(names[i], values[i], 1);
      } else {
        unsetenv(names[i]);
      }
    }
    char codeset[64];
    EXPECT_EQ(test.code_page, WineAnsiCodePage(codeset, sizeof codeset));
    EXPECT_STREQ("UTF-8", codeset);  // under C too, whose ASCII names no code page
  }
  if (!missing.empty()) GTEST_SKIP() << "not installed (scripts/install-deps.sh):" << missing;
}

}  // namespace
#endif
