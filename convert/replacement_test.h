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
    for (const char* call :
         {"getdents64", "FindNextFileW", "close", "FindClose", "rename", "MoveFileExA", "ReadFile",
          "WriteFile", "write", "fclose", "open", "posix_spawn", "linkat", "unlink", "DeleteFileA",
          "lstat", "listxattr", "read"}) {
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
inline BOOL WINAPI MoveFailingFor(const char* suffix, LPCSTR source, LPCSTR target, DWORD flags) {
  if (strstr(source, suffix)) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return reinterpret_cast<decltype(&MoveFileExA)>(RealSystemCall("MoveFileExA"))(source, target,
                                                                                 flags);
}
inline BOOL WINAPI MoveFailingForStub(LPCSTR source, LPCSTR target, DWORD flags) {
  return MoveFailingFor(".kdp.kdc-new", source, target, flags);
}
inline BOOL WINAPI MoveFailingForList(LPCSTR source, LPCSTR target, DWORD flags) {
  return MoveFailingFor(".txt.kdc-new", source, target, flags);
}
// Writes of the platform's own copies fail from the (writes_before_failure + 1)-th
// on; only that one when a single write fails.
inline int writes_before_failure = 0;
inline bool single_write_fails = false;
inline BOOL WINAPI WriteFailing(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written,
                                LPOVERLAPPED at) {
  if (writes_before_failure-- == 0 || (writes_before_failure < 0 && !single_write_fails)) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  typedef BOOL(WINAPI * Write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);  // beside ours
  return reinterpret_cast<Write>(RealSystemCall("WriteFile"))(file, bytes, size, written, at);
}
inline const char kWrite[] = "WriteFile";
inline const char kBackupName[] = "Am01.txt.kdc-backup";
inline const char kNextEntry[] = "FindNextFileW";
inline const char kCloseScan[] = "FindClose";
inline const char kMove[] = "MoveFileExA";
inline const SystemCall kFailingNextEntry = reinterpret_cast<SystemCall>(FindNextFailing);
inline const SystemCall kCountedCloseScan = reinterpret_cast<SystemCall>(FindCloseCounted);
inline const SystemCall kMoveFailingForStub = reinterpret_cast<SystemCall>(MoveFailingForStub);
inline const SystemCall kMoveFailingForList = reinterpret_cast<SystemCall>(MoveFailingForList);
inline const SystemCall kWriteFailing = reinterpret_cast<SystemCall>(WriteFailing);
#else
// The real getdents64, one entry a call (of a name up to 20 bytes), so that a fault
// can come between two entries.
inline ssize_t GetdentsOneByOne(int folder, void* entries, size_t size) {
  return reinterpret_cast<decltype(&getdents64)>(RealSystemCall("getdents64"))(
      folder, entries, size < 40 ? size : 40);
}
inline ssize_t GetdentsFailing(int folder, void* entries, size_t size) {
  if (entries_before_failure-- <= 0) {
    errno = EIO;
    return -1;
  }
  return GetdentsOneByOne(folder, entries, size);
}
// Counts the closes of the mission folder's descriptor, the scan's.
inline int CloseCounted(int fd) {
  char link[64], path[512];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t length = readlink(link, path, sizeof path - 1);
  if (length > 0) {
    path[length] = '\0';
    if (strstr(path, "/__Am/01")) ++scans_closed;
  }
  return reinterpret_cast<decltype(&close)>(RealSystemCall("close"))(fd);
}
inline int RenameFailingFor(const char* name, const char* source, const char* target) {
  if (strstr(source, name)) {
    errno = EIO;
    return -1;
  }
  return reinterpret_cast<decltype(&rename)>(RealSystemCall("rename"))(source, target);
}
inline int RenameFailingForStub(const char* source, const char* target) {
  return RenameFailingFor(".Am01.kdp.new", source, target);
}
inline int RenameFailingForList(const char* source, const char* target) {
  return RenameFailingFor(".Am01.txt.new", source, target);
}
inline int writes_before_failure = 0;
inline bool single_write_fails = false;
inline ssize_t WriteFailing(int fd, const void* bytes, size_t size) {
  if (writes_before_failure-- == 0 || (writes_before_failure < 0 && !single_write_fails)) {
    errno = ENOSPC;
    return -1;
  }
  return reinterpret_cast<decltype(&write)>(RealSystemCall("write"))(fd, bytes, size);
}
inline const char kWrite[] = "write";
inline const char kBackupName[] = ".Am01.txt.backup";
inline int OpenWithoutUnnamedFiles(const char* name, int flags, ...) {
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return reinterpret_cast<int (*)(const char*, int, ...)>(RealSystemCall("open"))(name, flags,
                                                                                  0666);
}
inline const char kNextEntry[] = "getdents64";
inline const char kCloseScan[] = "close";
inline const char kMove[] = "rename";
inline const SystemCall kFailingNextEntry = reinterpret_cast<SystemCall>(GetdentsFailing);
inline const SystemCall kCountedCloseScan = reinterpret_cast<SystemCall>(CloseCounted);
inline const SystemCall kMoveFailingForStub = reinterpret_cast<SystemCall>(RenameFailingForStub);
inline const SystemCall kMoveFailingForList = reinterpret_cast<SystemCall>(RenameFailingForList);
inline const SystemCall kWriteFailing = reinterpret_cast<SystemCall>(WriteFailing);
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
