// Replacement on Windows: hidden files, leftovers, links, the lock.
#ifdef _WIN32
#include <filesystem>

#include "convert/replacement_test.h"

namespace {

TEST_F(ReplacementTest, HiddenListStaysHiddenAndLeftoversAreCleared) {
  // What a converter killed midway leaves: the next conversion clears it; a folder
  // of such a name is the user's, and stays.
  WriteFile("Am01.txt.kdc-new", "torn");
  WriteFile("Am01.txt.kdc-backup", "old list");
  MakeFolder("Am01.kdp.kdc-backup");
  ASSERT_TRUE(SetFileAttributesA("Am01.txt", FILE_ATTRIBUTE_HIDDEN));
  WriteFile("release", "");
  ConvertMission("Am", "01");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_TRUE(GetFileAttributesA("Am01.txt") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(WaitForFile("updater.done"));
  EXPECT_EQ((std::vector<std::string>{"Am01.kdp", "Am01.kdp.kdc-backup", "Am01.txt", "__Am",
                                      "release", "seen.kdp", "seen.txt", "updater.done",
                                      "updater.log", "updater.runs", "vozedudo.exe"}),
            ListFolder("."));
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine runs a Unix program as it would a Windows one; its CreateSymbolicLinkA does
// nothing.
bool MakeUnixLink(const char* to, const char* link) {
  char command[256];
  snprintf(command, sizeof command, "/bin/ln -s %s %s", to, link);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return WaitUntil([&] { return Exists(link); });
}

TEST_F(ReplacementTest, LinkedListIsReplacedAndTheLinkedFileStays) {
  if (!UnderWine()) GTEST_SKIP() << "Unix links are made under Wine";
  MakeFolder("kept");
  WriteFile("kept/list.txt", "old list");
  RemoveFile("Am01.txt");
  ASSERT_TRUE(MakeUnixLink("kept/list.txt", "Am01.txt"));
  // A stub that fails, or cannot even be begun, changes nothing: the link stays a
  // link.
  for (bool begun : {true, false}) {
    messages.clear();
    if (begun) {
      ASSERT_TRUE(OverrideSystemCall(kMove, kMoveFailingForStub));
    } else {
      MakeFolder("Am01.kdp.kdc-new");
    }
    ConvertMission("Am", "01");
    OverrideSystemCall(kMove, nullptr);
    std::filesystem::remove("Am01.kdp.kdc-new");
    EXPECT_EQ((std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}), messages);
    WriteFile("kept/list.txt", "changed outside");
    EXPECT_EQ("changed outside", ReadFile("Am01.txt"));
    WriteFile("kept/list.txt", "old list");
  }

  messages.clear();  // the link still in place
  WriteFile("release", "");
  ConvertMission("Am", "01");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_EQ("old list", ReadFile("kept/list.txt"));
  EXPECT_EQ(std::vector<std::string>{"list.txt"}, ListFolder("kept"));
  EXPECT_TRUE(WaitForFile("updater.done"));
}

TEST_F(ReplacementTest, SecondConverterWaitsForTheLockThenConverts) {
  HANDLE held = CreateFileA("Am01.kdc-lock", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_GE(GetTickCount64() - start, static_cast<ULONGLONG>(kMissionBusyWaitMs) - 100);
  EXPECT_EQ(
      (std::vector<std::string>{
          "Jiné okno právě převádí misi v této složce hry. Zkuste to znovu, až převod skončí."}),
      messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("old stub", ReadFile("Am01.kdp"));
  CloseHandle(held);

  messages.clear();
  WriteFile("release", "");
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_FALSE(Exists("Am01.kdc-lock"));
  EXPECT_TRUE(WaitForFile("updater.done"));

  // One that nobody holds is taken over only when it says it is ours.
  messages.clear();
  WriteFile("Am01.kdc-lock", "korvidane-convert lock\r\n");
  EXPECT_EQ(1, ConvertMission("Am", "01"));
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(Exists("Am01.kdc-lock"));
  WriteFile("Am01.kdc-lock", "mine");
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ((std::vector<std::string>{
                "Soubor Am01.kdc-lock brání převodu mise: přejmenujte ho nebo ho smažte."}),
            messages);
  EXPECT_EQ("mine", ReadFile("Am01.kdc-lock"));
  // A folder of that name is named too, at once.
  RemoveFile("Am01.kdc-lock");
  MakeFolder("Am01.kdc-lock");
  messages.clear();
  EXPECT_EQ(0, ConvertMission("Am", "01"));
  EXPECT_EQ((std::vector<std::string>{
                "Soubor Am01.kdc-lock brání převodu mise: přejmenujte ho nebo ho smažte."}),
            messages);
}
}  // namespace
#endif
