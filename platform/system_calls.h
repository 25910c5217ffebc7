// The table through which the platform files call the system, so that tests can
// put a fault into a call for real (system_call_override.h). Only platform files
// include it.
// The calls are listed once, with their types, below; the table, its index and the
// typed accessor are made from that list.
#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/system_call_override.h"

#ifdef _WIN32
#include <windows.h>
#define PLATFORM_SYSTEM_CALLS(X)                                                        \
  X(FindFirstFileW, HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW))                       \
  X(FindNextFileW, BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW))                           \
  X(FindClose, BOOL(WINAPI*)(HANDLE))                                                   \
  X(CreateFileA,                                                                        \
    HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)) \
  X(MoveFileExA, BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD))                                  \
  X(DeleteFileA, BOOL(WINAPI*)(LPCSTR))                                                 \
  X(ReadFile, BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED))              \
  X(WriteFile, BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED))            \
  X(ShellExecuteA, HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT))       \
  X(fclose, int (*)(FILE*))
#else
#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>

#define PLATFORM_SYSTEM_CALLS(X)                                                 \
  X(getdents64, ssize_t (*)(int, void*, size_t))                                 \
  X(open, int (*)(const char*, int, ...))                                        \
  X(read, ssize_t (*)(int, void*, size_t))                                       \
  X(write, ssize_t (*)(int, const void*, size_t))                                \
  X(linkat, int (*)(int, const char*, int, const char*, int))                    \
  X(rename, int (*)(const char*, const char*))                                   \
  X(unlink, int (*)(const char*))                                                \
  X(ftruncate, int (*)(int, off_t))                                              \
  X(lstat, int (*)(const char*, struct stat*))                                   \
  X(listxattr, ssize_t (*)(const char*, char*, size_t))                          \
  X(close, int (*)(int))                                                         \
  X(fclose, int (*)(FILE*))                                                      \
  X(posix_spawn, int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*, \
                         const posix_spawnattr_t*, char* const*, char* const*))
#endif

namespace system_call {

#define PLATFORM_SYSTEM_CALL_INDEX(name, type) k_##name,
enum Index { PLATFORM_SYSTEM_CALLS(PLATFORM_SYSTEM_CALL_INDEX) kCount };
#undef PLATFORM_SYSTEM_CALL_INDEX

#define PLATFORM_SYSTEM_CALL_TYPE(name, type) using name##_type = type;
PLATFORM_SYSTEM_CALLS(PLATFORM_SYSTEM_CALL_TYPE)
#undef PLATFORM_SYSTEM_CALL_TYPE

SystemCall Current(Index index);

}  // namespace system_call

// The call through the table, with its own type: SYSTEM_CALL(rename)(from, to).
#define SYSTEM_CALL(name) \
  reinterpret_cast<system_call::name##_type>(system_call::Current(system_call::k_##name))
