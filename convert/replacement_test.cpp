// What a failed, repeated or interrupted conversion leaves: the previous files or
// both new ones, never half, and no temporary files.
#include <string>
#include <vector>

#include "convert/convert.h"
#include "platform/platform.h"
#include "tests/test_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

class ReplacementTest : public GameFolderTest {
 protected:
  void SetUp() override {
    GameFolderTest::SetUp();
    MakeFolder("__Am/01");
    WriteFile("__Am/01/mapa.dat", "x");
    WriteFile("Am01.txt", "old list");
    WriteFile("Am01.kdp", "old stub");
    InstallStandInUpdater();
#ifndef _WIN32
    chmod("Am01.txt", list_mode_);
#endif
  }
  unsigned list_mode_ = 0640;
  void TearDown() override {
    for (const char* call : {"readdir", "FindNextFileW", "closedir", "FindClose", "rename",
                             "MoveFileExA", "ReadFile", "fclose", "open", "fork", "link"}) {
      OverrideSystemCall(call, nullptr);
    }
    GameFolderTest::TearDown();
  }
  // Nothing replaced, nothing left over, no updater started.
  void ExpectOldFilesOnly() {
    EXPECT_EQ("old list", ReadFile("Am01.txt"));
#ifndef _WIN32
    struct stat status;
    ASSERT_EQ(0, stat("Am01.txt", &status));
    EXPECT_EQ(list_mode_, status.st_mode & 0777);
#endif
    EXPECT_EQ("old stub", ReadFile("Am01.kdp"));
    EXPECT_EQ((std::vector<std::string>{"Am01.kdp", "Am01.txt", "__Am", "vozedudo.exe"}),
              ListFolder("."));
  }
};

const std::string kNewList = " Am01.kdp\r\nmissions\\__Am\\01\\mapa.dat#__Am\\01\\mapa.dat\r\n";

// Faults put into the system's calls, for failures no real folder or disk gives.
int entries_before_failure = 0;
int scans_closed = 0;

#ifdef _WIN32
BOOL WINAPI FindNextFailing(HANDLE find, LPWIN32_FIND_DATAW data) {
  if (entries_before_failure-- <= 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return reinterpret_cast<decltype(&FindNextFileW)>(RealSystemCall("FindNextFileW"))(find, data);
}
BOOL WINAPI FindCloseCounted(HANDLE find) {
  ++scans_closed;
  return reinterpret_cast<decltype(&FindClose)>(RealSystemCall("FindClose"))(find);
}
BOOL WINAPI MoveFailingForStub(LPCSTR source, LPCSTR target, DWORD flags) {
  size_t length = strlen(source);
  bool old_stub = length >= 4 && strcmp(source + length - 4, ".kdp") == 0;
  if (old_stub || strstr(source, ".kdp.kdc-new")) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return reinterpret_cast<decltype(&MoveFileExA)>(RealSystemCall("MoveFileExA"))(source, target,
                                                                                 flags);
}
int reads_before_failure = 0;
BOOL WINAPI ReadFailing(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED at) {
  if (reads_before_failure-- <= 0) {
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
  }
  typedef BOOL(WINAPI * Read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);  // beside ours
  return reinterpret_cast<Read>(RealSystemCall("ReadFile"))(file, buffer, size, got, at);
}
const char kNextEntry[] = "FindNextFileW";
const char kCloseScan[] = "FindClose";
const char kMove[] = "MoveFileExA";
const SystemCall kFailingNextEntry = reinterpret_cast<SystemCall>(FindNextFailing);
const SystemCall kCountedCloseScan = reinterpret_cast<SystemCall>(FindCloseCounted);
const SystemCall kMoveFailingForStub = reinterpret_cast<SystemCall>(MoveFailingForStub);
#else
dirent* ReaddirFailing(DIR* folder) {
  if (entries_before_failure-- <= 0) {
    errno = EIO;
    return nullptr;
  }
  return reinterpret_cast<decltype(&readdir)>(RealSystemCall("readdir"))(folder);
}
int ClosedirCounted(DIR* folder) {
  ++scans_closed;
  return reinterpret_cast<decltype(&closedir)>(RealSystemCall("closedir"))(folder);
}
int RenameFailingForStub(const char* source, const char* target) {
  if (strstr(source, ".Am01.kdp.new-")) {
    errno = EIO;
    return -1;
  }
  return reinterpret_cast<decltype(&rename)>(RealSystemCall("rename"))(source, target);
}
int RenameFailingForStubAndOldList(const char* source, const char* target) {
  if (strstr(source, ".Am01.txt.old-")) {
    errno = EIO;
    return -1;
  }
  return RenameFailingForStub(source, target);
}
int LinkFailing(const char*, const char*) {
  errno = EPERM;  // as on a file system without hard links
  return -1;
}
const char kNextEntry[] = "readdir";
const char kCloseScan[] = "closedir";
const char kMove[] = "rename";
const SystemCall kFailingNextEntry = reinterpret_cast<SystemCall>(ReaddirFailing);
const SystemCall kCountedCloseScan = reinterpret_cast<SystemCall>(ClosedirCounted);
const SystemCall kMoveFailingForStub = reinterpret_cast<SystemCall>(RenameFailingForStub);
#endif

int CloseFailing(FILE* file) {
  reinterpret_cast<decltype(&fclose)>(RealSystemCall("fclose"))(file);
  return EOF;
}
int closes_before_failure = 0;
int CloseFailingLater(FILE* file) {
  if (closes_before_failure-- > 0) {
    return reinterpret_cast<decltype(&fclose)>(RealSystemCall("fclose"))(file);
  }
  return CloseFailing(file);
}

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

#ifdef _WIN32
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

  messages.clear();
  RemoveFile("Am01.txt");
  ASSERT_TRUE(MakeUnixLink("kept/list.txt", "Am01.txt"));
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
  EXPECT_EQ((std::vector<std::string>{
                "Misi Am01 právě převádí jiné okno. Zkuste to znovu, až převod skončí."}),
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
  EXPECT_EQ(1u, messages.size());
  EXPECT_EQ("mine", ReadFile("Am01.kdc-lock"));
}
#else
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
  EXPECT_EQ(0u, names[0].rfind(".Am01.txt.old-", 0)) << names[0];
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
int OpenWithoutUnnamedFiles(const char* name, int flags, ...) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return reinterpret_cast<int (*)(const char*, int, ...)>(RealSystemCall("open"))(name, flags,
                                                                                  0666);
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
#endif

}  // namespace
