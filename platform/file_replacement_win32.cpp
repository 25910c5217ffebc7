// Whole-file replacement on Windows: the temporary "Am01.txt.kdc-new" moved over
// the target; where a reader holds the target without letting it be replaced (an
// updater still running), the content is written into the file itself, with the
// backup "Am01.txt.kdc-backup" while that lasts. A link is replaced by the new
// file, never followed.
//
// If the program dies after a step, this is on disk:
//   1. new content written as .kdc-new         the old target, .kdc-new
//   2. .kdc-new moved over the target          the new target
//   or, in place instead of 2:
//   2a. old content copied into .kdc-backup     the old target, .kdc-new, .kdc-backup
//   2b. new content written into the target     a torn target, .kdc-new, .kdc-backup
//   2c. .kdc-backup removed                     the new target, .kdc-new
// The next conversion, under the lock, removes .kdc-new and .kdc-backup, and
// never puts anything back.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file_replacement.h"
#include "platform/path_folder.h"
#include "platform/system_calls.h"

struct FileReplacement {
  FILE* stream;            // the new content, while it is written
  HANDLE content;          // the new content, read through this and never by its name
  char target[kPathSize];  // a bare name in the working directory
  char temp[kPathSize];    // ".kdc-new" while it has that name
  char backup[kPathSize];  // ".kdc-backup" when it had to be kept
  bool created;            // put in place where there was no target
};

namespace {

bool Named(char* name, const char* target, const char* suffix) {
  int length = snprintf(name, kPathSize, "%s%s", target, suffix);
  return length >= 0 && static_cast<size_t>(length) < kPathSize;
}

// What a holder that does not share the file makes an open or a move fail with
// (access denied also while its last holder closes a file deleted on close).
bool HeldOpen(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool WriteAll(HANDLE to, const char* bytes, DWORD size) {
  DWORD written = 0;
  return SYSTEM_CALL(WriteFile)(to, bytes, size, &written, nullptr) && written == size;
}

// All of from, from its start, over to from its start; what is left of to's old
// content is cut off. False on any failed read or write.
bool CopyContent(HANDLE from, HANDLE to) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN) ||
      !SetFilePointerEx(to, start, nullptr, FILE_BEGIN)) {
    return false;
  }
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!SYSTEM_CALL(ReadFile)(from, buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return SetEndOfFile(to) != 0;
    if (!WriteAll(to, buffer, got)) return false;
  }
}

// Writes the new content into the target beside its readers, which such a reader
// allows. A backup holds the old content while the write lasts, and puts it back
// if the write fails; if even that fails, the backup stays for the user.
int WriteIntoTarget(FileReplacement* file) {
  HANDLE target = SYSTEM_CALL(CreateFileA)(file->target, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  char backup_name[kPathSize];
  HANDLE backup = INVALID_HANDLE_VALUE;
  if (target != INVALID_HANDLE_VALUE && Named(backup_name, file->target, ".kdc-backup")) {
    backup = SYSTEM_CALL(CreateFileA)(backup_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  bool backed_up = backup != INVALID_HANDLE_VALUE && CopyContent(target, backup);
  bool written = backed_up && CopyContent(file->content, target);
  if (backed_up && !written && !CopyContent(backup, target)) {
    memcpy(file->backup, backup_name, sizeof backup_name);
  }
  if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
  if (backup != INVALID_HANDLE_VALUE) {
    CloseHandle(backup);
    if (!file->backup[0]) SYSTEM_CALL(DeleteFileA)(backup_name);
  }
  return written ? 1 : 0;
}

}  // namespace

FileReplacement* BeginFileReplacement(const char* target) {
  FileReplacement* file = static_cast<FileReplacement*>(calloc(1, sizeof(FileReplacement)));
  if (!file) return nullptr;
  file->content = INVALID_HANDLE_VALUE;
  if (!Named(file->target, target, "") || !Named(file->temp, target, ".kdc-new")) {
    free(file);
    return nullptr;
  }
  // Shared for deleting, so that it can be moved into place while we hold it. A
  // file of that name that the lock's holder did not remove is not ours.
  HANDLE handle = SYSTEM_CALL(CreateFileA)(file->temp, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    free(file);
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  file->stream = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
  if (!file->stream) {
    if (fd >= 0) _close(fd);
    EndFileReplacement(file);
    return nullptr;
  }
  return file;
}

FILE* ReplacementStream(FileReplacement* file) { return file->stream; }

int FinishFileContent(FileReplacement* file) {
  bool ok = fflush(file->stream) == 0 && ferror(file->stream) == 0;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file->stream)));
  if (ok && !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &file->content, 0,
                             FALSE, DUPLICATE_SAME_ACCESS)) {
    file->content = INVALID_HANDLE_VALUE;
  }
  ok = SYSTEM_CALL(fclose)(file->stream) == 0 && ok && file->content != INVALID_HANDLE_VALUE;
  file->stream = nullptr;
  return ok ? 1 : 0;
}

int TargetIsReplaceable(const FileReplacement* file) {
  DWORD attributes = GetFileAttributesA(file->target);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
  }
  // Windows refuses to replace a read-only file; Wine does not, so we check it.
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ? 0 : 1;
}

// The targets are bare names in the working directory, which Windows compares
// without regard to case; a link is replaced, so two names are two files.
int SameTarget(const FileReplacement* one, const FileReplacement* other) {
  return lstrcmpiA(one->target, other->target) == 0 ? 1 : 0;
}

int PutFileInPlace(FileReplacement* file) {
  if (file->content == INVALID_HANDLE_VALUE || !file->temp[0]) return 0;
  DWORD attributes = GetFileAttributesA(file->target);
  bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // A hidden or system file stays so.
  const DWORD carried =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (exists && (attributes & carried)) {
    SetFileAttributesA(file->temp, attributes & (carried | FILE_ATTRIBUTE_ARCHIVE));
  }
  // Moved over a link, the new file takes the link's place and the file it names
  // stays as it was.
  if (SYSTEM_CALL(MoveFileExA)(file->temp, file->target, MOVEFILE_REPLACE_EXISTING)) {
    file->temp[0] = '\0';
    file->created = !exists;
    return 1;
  }
  return exists && HeldOpen(GetLastError()) ? WriteIntoTarget(file) : 0;
}

const char* KeptBackup(const FileReplacement* file) {
  return file && file->backup[0] ? file->backup : nullptr;
}

void RemoveCreatedFile(FileReplacement* file) {
  if (file->created) SYSTEM_CALL(DeleteFileA)(file->target);
}

void EndFileReplacement(FileReplacement* file) {
  if (!file) return;
  if (file->stream) SYSTEM_CALL(fclose)(file->stream);
  if (file->content != INVALID_HANDLE_VALUE) CloseHandle(file->content);
  if (file->temp[0]) SYSTEM_CALL(DeleteFileA)(file->temp);
  free(file);
}

// Under the lock: the temporary and the backup of target.
static void RemoveLeftovers(const char* target) {
  const char* const suffixes[] = {".kdc-new", ".kdc-backup"};
  for (const char* suffix : suffixes) {
    char name[kPathSize];
    if (!Named(name, target, suffix)) continue;
    // A folder or a link of that name is the user's, and stays.
    DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      SYSTEM_CALL(DeleteFileA)(name);
    }
  }
}

// The lock between converters: a hidden file held open without sharing and deleted
// on close, so that the system removes it when its holder is killed.
struct FileLock {
  HANDLE file;  // INVALID_HANDLE_VALUE where the folder takes no lock file
};

namespace {

const char kSignature[] = "korvidane-convert lock\r\n";

enum LeftLock { kTakenOver, kHeld, kGone, kNotOurs };

// A lock file that nobody holds: one left by a converter whose handle was not
// closed is taken over, to be deleted on our close; a file of the user's that only
// has the name is never taken.
LeftLock TakeOverLeftLock(const char* name, HANDLE* taken) {
  HANDLE file = CreateFileA(name, GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (HeldOpen(error)) return kHeld;
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
    } else if (!HeldOpen(error)) {
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
