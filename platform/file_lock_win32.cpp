// The lock between converters: a hidden file held open without sharing and deleted
// on close, so that the system removes it when its holder is killed.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/file_replacement.h"

struct FileLock {
  HANDLE file;  // INVALID_HANDLE_VALUE where the folder takes no lock file
};

namespace {

const char kSignature[] = "korvidane-convert lock\r\n";

bool HeldByAnother(DWORD error) {
  // Access denied: its holder has closed it, and it is being deleted.
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

enum LeftLock { kTakenOver, kHeld, kGone, kNotOurs };

// A lock file that nobody holds: one left by a converter whose handle was not
// closed is taken over, to be deleted on our close; a file of the user's that only
// has the name is never taken.
LeftLock TakeOverLeftLock(const char* name, HANDLE* taken) {
  HANDLE file = CreateFileA(name, GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (HeldByAnother(error)) return kHeld;
    return error == ERROR_FILE_NOT_FOUND ? kGone : kNotOurs;
  }
  char content[sizeof kSignature + 1];
  DWORD got = 0;
  bool ours = ReadFile(file, content, sizeof content, &got, nullptr) &&
              got == sizeof kSignature - 1 && memcmp(content, kSignature, got) == 0;
  FILE_DISPOSITION_INFO gone_on_close = {TRUE};
  if (ours &&
      SetFileInformationByHandle(file, FileDispositionInfo, &gone_on_close, sizeof gone_on_close)) {
    *taken = file;
    return kTakenOver;
  }
  CloseHandle(file);
  return kNotOurs;
}

}  // namespace

// A folder cannot be held so here without keeping it from being listed: a lock file.
FileLock* LockFiles(const char* lock_name, const char* const* targets, size_t count, int wait_ms,
                    bool* name_taken) {
  *name_taken = false;
  FileLock* lock = static_cast<FileLock*>(calloc(1, sizeof(FileLock)));
  if (!lock) return nullptr;
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait_ms);
  for (;;) {
    lock->file = CreateFileA(lock_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (lock->file != INVALID_HANDLE_VALUE) {
      // Only a lock that says it is ours is ever taken over.
      DWORD written = 0;
      WriteFile(lock->file, kSignature, sizeof kSignature - 1, &written, nullptr);
      break;
    }
    DWORD error = GetLastError();
    LeftLock left = kHeld;
    DWORD attributes = GetFileAttributesA(lock_name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      left = kNotOurs;  // a folder of that name
    } else if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      left = TakeOverLeftLock(lock_name, &lock->file);
    } else if (!HeldByAnother(error)) {
      // A folder that takes no new file: one converter alone is still safe, and the
      // files will tell why they cannot be written.
      lock->file = INVALID_HANDLE_VALUE;
      break;
    }
    if (left == kTakenOver) break;
    *name_taken = left == kNotOurs;
    if (left == kNotOurs || GetTickCount64() >= deadline) {
      free(lock);
      return nullptr;
    }
    if (left == kHeld) Sleep(20);
  }
  // What a killed converter left is ours to remove only while we hold the lock.
  if (lock->file != INVALID_HANDLE_VALUE) {
    for (size_t i = 0; i < count; ++i) RemoveLeftovers(targets[i]);
  }
  return lock;
}

void UnlockFiles(FileLock* lock) {
  if (!lock) return;
  if (lock->file != INVALID_HANDLE_VALUE) CloseHandle(lock->file);  // which deletes it
  free(lock);
}
