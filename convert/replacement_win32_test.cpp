// Replacement on Windows: hidden files, kept copies known whole, links, the lock.
#ifdef _WIN32
#include <filesystem>

#include "convert/replacement_test.h"

namespace {

// A kept copy's name as the converter gives it: the 64-bit FNV-1a hash of its
// content, which proves the copy whole.
std::string KeptName(const std::string& target, const std::string& content) {
  unsigned long long hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : content) hash = (hash ^ c) * 0x100000001b3ULL;
  char digits[17];
  snprintf(digits, sizeof digits, "%016llx", hash);
  return target + ".kdc-old-" + digits;
}

TEST_F(ReplacementTest, HiddenListStaysHiddenAndLeftoversAreCleared) {
  // What a converter killed midway leaves: the next conversion clears it.
  WriteFile("Am01.txt.kdc-new", "torn");
  WriteFile("Am01.txt.kdc-part", "old l");
  WriteFile(KeptName("Am01.kdp", "old stub"), "old stub");
  ASSERT_TRUE(SetFileAttributesA("Am01.txt", FILE_ATTRIBUTE_HIDDEN));
  WriteFile("release", "");
  ConvertMission("Am", "01");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_TRUE(GetFileAttributesA("Am01.txt") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(WaitForFile("updater.done"));
  EXPECT_EQ(
      (std::vector<std::string>{"Am01.kdp", "Am01.txt", "__Am", "release", "seen.kdp", "seen.txt",
                                "updater.done", "updater.log", "updater.runs", "vozedudo.exe"}),
      ListFolder("."));
}

TEST_F(ReplacementTest, OnlyAWholeKeptCopyOfOursGoesBack) {
  // Killed amid writing into a held list: the list is torn, its copy whole.
  WriteFile("Am01.txt", "torn");
  WriteFile(KeptName("Am01.txt", "old list"), "old list");
  // The user's own files of like names, and a copy whose content is not its name's.
  WriteFile("Am01.txt.kdc-old", "mine");
  MakeFolder("Am01.kdp.kdc-old");
  WriteFile("Am01.txt.kdc-old-0123456789abcdef", "not a copy");
  WriteFile("__Am/01/\xD0\x96.dat", "x");  // Cyrillic: in neither 1250 nor 1252
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Neplatný název souboru v misi!"}, messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("mine", ReadFile("Am01.txt.kdc-old"));
  EXPECT_TRUE(IsFolder("Am01.kdp.kdc-old"));
  EXPECT_EQ("not a copy", ReadFile("Am01.txt.kdc-old-0123456789abcdef"));
  EXPECT_EQ(
      (std::vector<std::string>{"Am01.kdp", "Am01.kdp.kdc-old", "Am01.txt", "Am01.txt.kdc-old",
                                "Am01.txt.kdc-old-0123456789abcdef", "__Am", "vozedudo.exe"}),
      ListFolder("."));
}

// Killed between the two files of a first conversion: the new list goes, as there
// was none; only a mark of ours says so.
TEST_F(ReplacementTest, ListOfAKilledFirstConversionGoes) {
  RemoveFile("Am01.kdp");
  WriteFile("Am01.txt.kdc-none", "korvidane-convert: no such file before\r\n");
  WriteFile("Am01.kdp.kdc-none", "my notes");
  WriteFile("__Am/01/\xD0\x96.dat", "x");  // Cyrillic: in neither 1250 nor 1252
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Neplatný název souboru v misi!"}, messages);
  EXPECT_FALSE(Exists("Am01.txt"));
  EXPECT_EQ("my notes", ReadFile("Am01.kdp.kdc-none"));
  EXPECT_FALSE(Exists("Am01.txt.kdc-none"));
}

// A conversion that worked but could not remove its copy (another program held it)
// leaves a note: the next one must not undo it.
TEST_F(ReplacementTest, CopyPassedOverByAConversionThatWorkedStays) {
  std::string kept = KeptName("Am01.txt", "older list");
  WriteFile(kept, "older list");
  WriteFile(kept + ".done", "");
  WriteFile("Am01.txt.kdc-none", "korvidane-convert: no such file before\r\n");
  WriteFile("Am01.txt.kdc-none.done", "");
  WriteFile("__Am/01/\xD0\x96.dat", "x");  // Cyrillic: in neither 1250 nor 1252
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Neplatný název souboru v misi!"}, messages);
  ExpectOldFilesOnly();  // the passed-over copy and mark went, with their notes
}

BOOL WINAPI MoveFailingForStubAndOldList(LPCSTR source, LPCSTR target, DWORD flags) {
  if (strstr(source, "Am01.txt.kdc-old-")) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return MoveFailingForStub(source, target, flags);
}

TEST_F(ReplacementTest, OldListThatCannotBePutBackGoesBackNextTime) {
  ASSERT_TRUE(
      OverrideSystemCall(kMove, reinterpret_cast<SystemCall>(MoveFailingForStubAndOldList)));
  ConvertMission("Am", "01");
  OverrideSystemCall(kMove, nullptr);
  EXPECT_EQ((std::vector<std::string>{"Soubor Am01.kdp nelze zapsat! Ani Am01.txt se nepodařilo "
                                      "vrátit do předchozího stavu."}),
            messages);
  EXPECT_EQ(kNewList, ReadFile("Am01.txt"));
  EXPECT_EQ("old list", ReadFile(KeptName("Am01.txt", "old list")));
  // The next conversion puts it back first, and fails here before anything else.
  messages.clear();
  WriteFile("__Am/01/\xD0\x96.dat", "x");  // Cyrillic: in neither 1250 nor 1252
  ConvertMission("Am", "01");
  EXPECT_EQ(std::vector<std::string>{"Neplatný název souboru v misi!"}, messages);
  ExpectOldFilesOnly();
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
  // The list took the link's place; the stub failed; the list goes back.
  ASSERT_TRUE(OverrideSystemCall(kMove, kMoveFailingForStub));
  ConvertMission("Am", "01");
  OverrideSystemCall(kMove, nullptr);
  EXPECT_EQ((std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}), messages);
  EXPECT_EQ("old list", ReadFile("Am01.txt"));
  EXPECT_EQ("old list", ReadFile("kept/list.txt"));
  // A stub that cannot even be begun changes nothing: the link stays a link.
  messages.clear();
  RemoveFile("Am01.txt");
  ASSERT_TRUE(MakeUnixLink("kept/list.txt", "Am01.txt"));
  MakeFolder("Am01.kdp.kdc-part");
  ConvertMission("Am", "01");
  EXPECT_EQ((std::vector<std::string>{"Soubor Am01.kdp nelze zapsat!"}), messages);
  WriteFile("kept/list.txt", "changed outside");
  EXPECT_EQ("changed outside", ReadFile("Am01.txt"));
  std::filesystem::remove("Am01.kdp.kdc-part");
  WriteFile("kept/list.txt", "old list");

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
