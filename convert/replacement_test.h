// The game folder the replacement tests start from, and the faults they put into
// the system's calls.
#pragma once

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

inline const std::string kNewList =
    " Am01.kdp\r\nmissions\\__Am\\01\\mapa.dat#__Am\\01\\mapa.dat\r\n";

// Faults put into the system's calls, for failures no real folder or disk gives.
inline int entries_before_failure = 0;
inline int scans_closed = 0;

#ifdef _WIN32
inline BOOL WINAPI FindNextFailing(HANDLE find, LPWIN32_FIND_DATAW data) {
  if (entries_before_failure-- <= 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return reinterpret_cast<decltype(&FindNextFileW)>(RealSystemCall("FindNextFileW"))(find, data);
}
inline BOOL WINAPI FindCloseCounted(HANDLE find) {
  ++scans_closed;
  return reinterpret_cast<decltype(&FindClose)>(RealSystemCall("FindClose"))(find);
}
inline BOOL WINAPI MoveFailingForStub(LPCSTR source, LPCSTR target, DWORD flags) {
  size_t length = strlen(source);
  bool old_stub = length >= 4 && strcmp(source + length - 4, ".kdp") == 0;
  if (old_stub || strstr(source, ".kdp.kdc-new")) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return reinterpret_cast<decltype(&MoveFileExA)>(RealSystemCall("MoveFileExA"))(source, target,
                                                                                 flags);
}
inline int reads_before_failure = 0;
inline BOOL WINAPI ReadFailing(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got,
                               LPOVERLAPPED at) {
  if (reads_before_failure-- <= 0) {
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
  }
  typedef BOOL(WINAPI * Read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);  // beside ours
  return reinterpret_cast<Read>(RealSystemCall("ReadFile"))(file, buffer, size, got, at);
}
inline const char kNextEntry[] = "FindNextFileW";
inline const char kCloseScan[] = "FindClose";
inline const char kMove[] = "MoveFileExA";
inline const SystemCall kFailingNextEntry = reinterpret_cast<SystemCall>(FindNextFailing);
inline const SystemCall kCountedCloseScan = reinterpret_cast<SystemCall>(FindCloseCounted);
inline const SystemCall kMoveFailingForStub = reinterpret_cast<SystemCall>(MoveFailingForStub);
#else
inline dirent* ReaddirFailing(DIR* folder) {
  if (entries_before_failure-- <= 0) {
    errno = EIO;
    return nullptr;
  }
  return reinterpret_cast<decltype(&readdir)>(RealSystemCall("readdir"))(folder);
}
inline int ClosedirCounted(DIR* folder) {
  ++scans_closed;
  return reinterpret_cast<decltype(&closedir)>(RealSystemCall("closedir"))(folder);
}
inline int RenameFailingForStub(const char* source, const char* target) {
  if (strstr(source, ".Am01.kdp.new-")) {
    errno = EIO;
    return -1;
  }
  return reinterpret_cast<decltype(&rename)>(RealSystemCall("rename"))(source, target);
}
inline int RenameFailingForStubAndOldList(const char* source, const char* target) {
  if (strstr(source, ".Am01.txt.old.")) {
    errno = EIO;
    return -1;
  }
  return RenameFailingForStub(source, target);
}
inline int LinkFailing(const char*, const char*) {
  errno = EPERM;  // as on a file system without hard links
  return -1;
}
inline int OpenWithoutUnnamedFiles(const char* name, int flags, ...) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return reinterpret_cast<int (*)(const char*, int, ...)>(RealSystemCall("open"))(name, flags,
                                                                                  0666);
}
inline const char kNextEntry[] = "readdir";
inline const char kCloseScan[] = "closedir";
inline const char kMove[] = "rename";
inline const SystemCall kFailingNextEntry = reinterpret_cast<SystemCall>(ReaddirFailing);
inline const SystemCall kCountedCloseScan = reinterpret_cast<SystemCall>(ClosedirCounted);
inline const SystemCall kMoveFailingForStub = reinterpret_cast<SystemCall>(RenameFailingForStub);
#endif

inline int CloseFailing(FILE* file) {
  reinterpret_cast<decltype(&fclose)>(RealSystemCall("fclose"))(file);
  return EOF;
}
inline int closes_before_failure = 0;
inline int CloseFailingLater(FILE* file) {
  if (closes_before_failure-- > 0) {
    return reinterpret_cast<decltype(&fclose)>(RealSystemCall("fclose"))(file);
  }
  return CloseFailing(file);
}
