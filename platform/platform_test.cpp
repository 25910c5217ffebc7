// How a program is found and started where there is no Windows shell.
#ifndef _WIN32
#include "platform/platform.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <string>

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
  StartProgramHidden("vozedudo.exe", "Am01.txt");
  ASSERT_TRUE(WaitForFile("wine.log"));
  EXPECT_EQ("./vozedudo.exe Am01.txt\n", ReadFile("wine.log"));
}

TEST_F(StartProgramTest, WorkingDirectoryComesBeforePath) {
  WriteScript("bin/vozedudo.exe", "echo path > found.tmp; mv found.tmp found.log\n");
  StartProgramHidden("vozedudo.exe", "Am01.txt");
  ASSERT_TRUE(WaitForFile("found.log"));
  EXPECT_EQ("path\n", ReadFile("found.log"));

  WriteScript("vozedudo.exe", "echo here > found.tmp; mv found.tmp found.log\n");
  StartProgramHidden("vozedudo.exe", "Am01.txt");
  ASSERT_TRUE(WaitUntil([] { return ReadFile("found.log") == "here\n"; }));
}

TEST_F(StartProgramTest, WindowsProgramWithoutWineIsNotStarted) {
  setenv("PATH", (folder_.string() + "/bin").c_str(), 1);
  WriteFile("vozedudo.exe", "MZ");
  StartProgramHidden("vozedudo.exe", "Am01.txt");  // returns quietly
  EXPECT_EQ((std::vector<std::string>{"bin", "vozedudo.exe"}), ListFolder("."));
}

}  // namespace
#endif
