// A whole conversion: the messages, and the hand-over to a real stand-in updater.
#include "convert/convert.h"

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_folder.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using ConvertMissionTest = GameFolderTest;

std::string CurrentFolder() {
#ifdef _WIN32
  return std::filesystem::current_path().string();
#else
  return std::filesystem::canonical(std::filesystem::current_path()).string();
#endif
}

// After a refused conversion, a good one of another mission: once the updater has
// recorded that one, it must be the only run.
void ExpectNoUpdaterBefore(const char* mission) {
  MakeFolder(std::string("__Am/") + mission);
  WriteFile("release", "");
  ConvertMission("Am", mission);
  ASSERT_TRUE(WaitForFile("updater.done"));
  EXPECT_EQ(std::string("Am") + mission + ".txt\n", ReadFile("updater.runs"));
}

TEST_F(ConvertMissionTest, HandsCompleteFilesToTheUpdaterAndDoesNotWait) {
  MakeFolder("__Am/01");
  WriteFile("__Am/01/map.dat", "x");
  InstallStandInUpdater();

#ifdef _WIN32
  ConvertMission("Am", "01");
#else
  // What the converter ignores, the updater must not inherit.
  signal(SIGPIPE, SIG_IGN);
  ConvertMission("Am", "01");
  signal(SIGPIPE, SIG_DFL);
#endif

  ASSERT_TRUE(WaitForFile("updater.log"));
  EXPECT_TRUE(messages.empty());
  std::string log = ReadFile("updater.log");
  EXPECT_EQ("1:Am01.txt", LogValue(log, "args"));
  EXPECT_EQ(CurrentFolder(), LogValue(log, "cwd"));
  const std::string list = " Am01.kdp\r\nmissions\\__Am\\01\\map.dat#__Am\\01\\map.dat\r\n";
  EXPECT_EQ(list, ReadFile("seen.txt"));
  EXPECT_EQ(ExpectedStub(), ReadFile("seen.kdp"));
#ifdef _WIN32
  EXPECT_EQ("0", LogValue(log, "show"));  // SW_HIDE
#else
  EXPECT_EQ("/dev/null", LogValue(log, "stdin"));
  EXPECT_EQ("/dev/null", LogValue(log, "stdout"));
  EXPECT_EQ("/dev/null", LogValue(log, "stderr"));
  EXPECT_NE(std::to_string(getsid(0)), LogValue(log, "session"));
  EXPECT_EQ("0000000000000000", LogValue(log, "ignored"));
#endif

  // Still waiting for release: the conversion returned while the updater runs.
  EXPECT_FALSE(Exists("updater.done"));
  WriteFile("release", "");
  ASSERT_TRUE(WaitForFile("updater.done"));
}

TEST_F(ConvertMissionTest, ConvertingTwiceStartsTheUpdaterTwice) {
  MakeFolder("__Ru/13a");
  InstallStandInUpdater();
  WriteFile("release", "");
  ConvertMission("Ru", "13a");
#ifndef _WIN32
  // A dialog kept open for hundreds of conversions must not run out of descriptors.
  size_t descriptors = ListFolder("/proc/self/fd").size();
#endif
  ConvertMission("Ru", "13a");
#ifndef _WIN32
  EXPECT_EQ(descriptors, ListFolder("/proc/self/fd").size());
#endif
  WaitUntil([] { return ReadFile("updater.runs").size() >= 20; });
  EXPECT_EQ("Ru13a.txt\nRu13a.txt\n", ReadFile("updater.runs"));
  EXPECT_EQ(ExpectedStub(), ReadFile("Ru13a.kdp"));
}

TEST_F(ConvertMissionTest, MissingMissionOnlySaysSo) {
  WriteFile("Ru15a.txt", "old list");
  InstallStandInUpdater();
  ConvertMission("Ru", "15a");
  EXPECT_EQ(std::vector<std::string>{"Mise neexistuje!"}, messages);
  EXPECT_EQ("old list", ReadFile("Ru15a.txt"));
  EXPECT_FALSE(Exists("Ru15a.kdp"));
  ExpectNoUpdaterBefore("02");
}

// The files stay written; the player is told the updater did not start.
TEST_F(ConvertMissionTest, UpdaterThatCannotStartIsReported) {
  MakeFolder("__Am/01");
  struct Updater {
    const char* content;  // nullptr: none
    unsigned mode;
  };
  std::vector<Updater> updaters = {{nullptr, 0}};
#ifndef _WIN32
  updaters.push_back({"#!/bin/sh\nexit 0\n", 0644});               // not executable
  updaters.push_back({"#!/no/such/interpreter\nexit 0\n", 0755});  // exec fails
#endif
  for (const Updater& updater : updaters) {
    SCOPED_TRACE(updater.content ? updater.content : "missing");
    messages.clear();
    RemoveFile("Am01.txt");
    if (updater.content) {
      WriteFile("vozedudo.exe", updater.content);
#ifndef _WIN32
      chmod("vozedudo.exe", updater.mode);
#endif
    }
    EXPECT_EQ(0, ConvertMission("Am", "01"));
    EXPECT_EQ(std::vector<std::string>{"Program vozedudo.exe nelze spustit!"}, messages);
    EXPECT_EQ(" Am01.kdp\r\n", ReadFile("Am01.txt"));
    EXPECT_EQ(ExpectedStub(), ReadFile("Am01.kdp"));
  }
}

// A box left open dispatches the dialog's messages, so a conversion may start
// inside it, and another window may convert meanwhile: the mission is let go first.
bool box_open = false;
TEST_F(ConvertMissionTest, MessageIsShownWithTheMissionLetGo) {
  MakeFolder("__Am/01");
  RedirectErrorMessages([](const char* text) {
    messages.push_back(text);
    if (box_open) return;
    box_open = true;
    ConvertMission("Am", "01");
    box_open = false;
  });
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ((std::vector<std::string>{"Program vozedudo.exe nelze spustit!",
                                      "Program vozedudo.exe nelze spustit!"}),
            messages);
}

TEST_F(ConvertMissionTest, UnwritableListStopsBeforeTheStub) {
  MakeFolder("__Am/01");
  MakeFolder("Am01.txt");
  WriteFile("Am01.kdp", "old stub");
  InstallStandInUpdater();
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.txt nelze zapsat!"}, messages);
  EXPECT_EQ("old stub", ReadFile("Am01.kdp"));
  ExpectNoUpdaterBefore("02");
}

TEST_F(ConvertMissionTest, UnwritableStubStopsBeforeTheUpdater) {
  MakeFolder("__Am/01");
  MakeFolder("Am01.kdp");
  InstallStandInUpdater();
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}, messages);
  EXPECT_TRUE(IsFolder("Am01.kdp"));
  ExpectNoUpdaterBefore("02");
}

TEST_F(ConvertMissionTest, RefusedNameStopsEverything) {
  MakeFolder("__Am/01");
#ifdef _WIN32
  WriteFile("__Am/01/\xD0\x96.dat", "x");  // Cyrillic: in neither 1250 nor 1252
#else
  WriteFile("__Am/01/line\rbreak.dat", "x");
#endif
  InstallStandInUpdater();
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Neplatný název souboru v misi!"}, messages);
  EXPECT_FALSE(Exists("Am01.txt"));
  EXPECT_FALSE(Exists("Am01.kdp"));
  ExpectNoUpdaterBefore("02");
}

}  // namespace
