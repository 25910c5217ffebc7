// Whole-file replacement on POSIX: a temporary renamed over the target, as git's
// lockfile does; where a rename cannot work or would lose something of the file,
// the content is written into the file itself with a backup, as vim does.
//
// Beside the target (in the folder of the file a permitted link names) stand at
// most ".Am01.txt.new", the temporary, and ".Am01.txt.backup". If the program dies
// after a step, this is on disk:
//   1. new content written, unnamed (O_TMPFILE)    the old target
//      or, without unnamed files, written as .new  the old target, .new
//   2. complete, named .new                        the old target, .new
//   3. .new renamed over the target                the new target
//   or, in place instead of 3:
//   3a. old content copied into .backup            the old target, .new, .backup
//   3b. new content written into the target        a torn target, .new, .backup
//   3c. .backup removed                            the new target, .new
// A signal that ends the program removes .new, and waits through 3a to 3c; only a
// kill leaves anything. The next conversion, under the lock, removes .new and
// .backup when they are the user's own, and never puts anything back.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/fatal_signals_posix.h"
#include "platform/file_replacement.h"
#include "platform/path_folder.h"
#include "platform/permitted_links_posix.h"
#include "platform/system_calls.h"

struct FileReplacement {
  FILE* stream;            // the new content, while it is written
  int content;             // the new content, read through this and never by its name,
                           // which another user of the folder may rename; -1: none
  char target[kPathSize];  // through links we may follow, the file they name
  char temp[kPathSize];    // ".NAME.new" while it has that name
  char backup[kPathSize];  // ".NAME.backup" when it had to be kept
  bool created;            // put in place where there was no target
};

namespace {

// ".NAME.KIND" beside path's file.
bool NameBeside(const char* path, const char* kind, char* name) {
  int folder_length = static_cast<int>(FolderPartLength(path, '/'));
  int length =
      snprintf(name, kPathSize, "%.*s.%s.%s", folder_length, path, path + folder_length, kind);
  return length >= 0 && static_cast<size_t>(length) < kPathSize;
}

bool SameFile(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The temporaries' names, removed when a signal ends the program, in the manner of
// git's tempfile. A slot is in use while it points to a name that is not empty.
char* volatile watched[4];

void RemoveWatchedNames() {
  for (char* volatile& name : watched) {
    if (name && name[0]) unlink(name);
  }
}

// Only a temporary of ours goes in a slot, and only while it is free.
void Watch(char* name, char* owner) {
  for (char* volatile& slot : watched) {
    if (slot == owner) {
      slot = name;
      return;
    }
  }
}

// While replacements are under way, a signal that ends the program removes the
// names, and a file grown past the size limit fails the write, which is reported,
// instead of ending the program.
int replacements = 0;
struct sigaction previous_file_size_action;

void StartWatching() {
  if (replacements++ > 0) return;
  PushFatalSignalCleanup(RemoveWatchedNames);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous_file_size_action);
}

void StopWatching() {
  if (replacements == 0 || --replacements > 0) return;
  PopFatalSignalCleanup(RemoveWatchedNames);
  sigaction(SIGXFSZ, &previous_file_size_action, nullptr);
}

// Gives the temporary its fixed name with make(name), never over a file already
// there. Signals wait until the name is watched, so that one removes only ours.
template <typename Make>
bool NameTemporary(FileReplacement* file, Make make) {
  HoldInterruptions();
  bool made = NameBeside(file->target, "new", file->temp) && make(file->temp);
  if (made) {
    Watch(file->temp, nullptr);
  } else {
    file->temp[0] = '\0';
  }
  ReleaseInterruptions();
  return made;
}

bool WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    ssize_t written = SYSTEM_CALL(write)(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// All of from, from its start, over to from its start; what is left of to's old
// content is cut off. False on any failed read or write.
bool CopyContent(int from, int to) {
  if (lseek(from, 0, SEEK_SET) != 0 || lseek(to, 0, SEEK_SET) != 0) return false;
  char buffer[16384];
  off_t size = 0;
  for (;;) {
    ssize_t got = SYSTEM_CALL(read)(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    if (!WriteAll(to, buffer, static_cast<size_t>(got))) return false;
    size += got;
  }
  return SYSTEM_CALL(ftruncate)(to, size) == 0;
}

// Renaming the new file over the target would lose something of it, as vim judges:
// an owner or group the new file could not take, another name (a hard link), or
// extended attributes such as an ACL. (A security label is the system's own, and
// every new file gets one.)
bool RenamingWouldLose(const FileReplacement* file, const struct stat& old) {
  struct stat fresh;
  if (fstat(file->content, &fresh) != 0) return true;
  if (fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid || old.st_nlink > 1) return true;
  char names[1024];
  ssize_t length = SYSTEM_CALL(listxattr)(file->target, names, sizeof names);
  // Only a file system without attributes has none to lose; attributes that could
  // not be read may be there.
  if (length < 0) return errno != ENOTSUP;
  for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(strlen(names + at)) + 1) {
    if (strncmp(names + at, "security.", 9) != 0) return true;
  }
  return false;
}

// Writes the new content into the target itself, so that it keeps its name, owner,
// group, mode, attributes and other names. A backup holds the old content while
// the write lasts, and puts it back if the write fails; if even that fails, the
// backup stays for the user. Signals wait meanwhile, so only a kill can tear it.
int WriteIntoTarget(FileReplacement* file) {
  HoldInterruptions();
  // Not a pipe put in the target's place meanwhile: it would never answer.
  int target = SYSTEM_CALL(open)(file->target, O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat status;
  char backup_name[kPathSize];
  int backup = -1;
  if (target >= 0 && fstat(target, &status) == 0 && S_ISREG(status.st_mode) &&
      NameBeside(file->target, "backup", backup_name)) {
    backup = SYSTEM_CALL(open)(backup_name, O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
  }
  bool backed_up = backup >= 0 && CopyContent(target, backup);
  bool written = backed_up && CopyContent(file->content, target);
  bool restored = backed_up && !written && CopyContent(backup, target);
  // A close that fails may not have written what it had.
  if (target >= 0 && SYSTEM_CALL(close)(target) != 0) written = restored = false;
  if (backed_up && !written && !restored) memcpy(file->backup, backup_name, sizeof backup_name);
  if (backup >= 0) {
    close(backup);
    if (!file->backup[0]) SYSTEM_CALL(unlink)(backup_name);
  }
  ReleaseInterruptions();
  return written ? 1 : 0;
}

// The temporary's name still names the new content: another user of a folder
// without the sticky bit may have put something else there.
bool StillOurContent(const FileReplacement* file) {
  struct stat named, content;
  return file->temp[0] && lstat(file->temp, &named) == 0 && fstat(file->content, &content) == 0 &&
         SameFile(named, content);
}

}  // namespace

FileReplacement* BeginFileReplacement(const char* target) {
  FileReplacement* file = static_cast<FileReplacement*>(calloc(1, sizeof(FileReplacement)));
  if (!file) return nullptr;
  file->content = -1;
  // Through a symbolic link the file it names is replaced, and the link stays.
  if (!ResolvePermittedLinks(target, file->target)) {
    free(file);
    return nullptr;
  }
  StartWatching();
  // The new file has no name until it is complete, so not even a kill leaves it.
  char folder[kPathSize];
  FolderOf(file->target, folder, sizeof folder);
  int fd = -1;
  if (access("/proc/self/fd", X_OK) == 0) {
    fd = SYSTEM_CALL(open)(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  }
  if (fd < 0) {
    NameTemporary(file, [&](const char* name) {
      fd = SYSTEM_CALL(open)(name, O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
      return fd >= 0;
    });
  }
  // The new file keeps the old one's mode and, where we may, its owner and group.
  struct stat status;
  if (fd >= 0 && stat(file->target, &status) == 0) {
    if (fchown(fd, status.st_uid, status.st_gid) != 0) {
      // only root may give a file away: it is then written in place
    }
    fchmod(fd, status.st_mode & 07777);
  }
  if (fd >= 0) file->stream = fdopen(fd, "wb");
  if (!file->stream) {
    if (fd >= 0) close(fd);
    EndFileReplacement(file);
    return nullptr;
  }
  return file;
}

FILE* ReplacementStream(FileReplacement* file) { return file->stream; }

int FinishFileContent(FileReplacement* file) {
  bool ok = fflush(file->stream) == 0 && ferror(file->stream) == 0;
  if (ok && !file->temp[0]) {
    // Named only now that it is complete.
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(file->stream));
    ok = NameTemporary(file, [&](const char* name) {
      return SYSTEM_CALL(linkat)(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
    });
  }
  file->content = ok ? fcntl(fileno(file->stream), F_DUPFD_CLOEXEC, 0) : -1;
  ok = SYSTEM_CALL(fclose)(file->stream) == 0 && ok && file->content >= 0;
  file->stream = nullptr;
  return ok ? 1 : 0;
}

int TargetIsReplaceable(const FileReplacement* file) {
  struct stat status;
  if (stat(file->target, &status) != 0) return errno == ENOENT ? 1 : 0;
  // Only a plain file: a link to a device or a pipe must not turn it into one.
  if (!S_ISREG(status.st_mode)) return 0;
  // Read-only for everyone counts even for root, as the attribute does on Windows.
  if ((status.st_mode & 0222) == 0) return 0;
  return access(file->target, W_OK) == 0 ? 1 : 0;
}

int SameTarget(const FileReplacement* one, const FileReplacement* other) {
  struct stat first, second;
  if (stat(one->target, &first) == 0 && stat(other->target, &second) == 0) {
    return SameFile(first, second) ? 1 : 0;
  }
  // One not there yet: two links may still name the same new file.
  char first_folder[kPathSize], second_folder[kPathSize];
  FolderOf(one->target, first_folder, sizeof first_folder);
  FolderOf(other->target, second_folder, sizeof second_folder);
  return stat(first_folder, &first) == 0 && stat(second_folder, &second) == 0 &&
                 SameFile(first, second) &&
                 strcmp(one->target + FolderPartLength(one->target, '/'),
                        other->target + FolderPartLength(other->target, '/')) == 0
             ? 1
             : 0;
}

int PutFileInPlace(FileReplacement* file) {
  if (file->content < 0) return 0;
  struct stat old;
  bool exists = SYSTEM_CALL(lstat)(file->target, &old) == 0;
  // A target that could not be looked at may have what a rename would lose.
  if (!exists && errno != ENOENT) return WriteIntoTarget(file);
  if (exists && RenamingWouldLose(file, old)) return WriteIntoTarget(file);
  if (!StillOurContent(file)) return 0;
  HoldInterruptions();
  bool renamed = SYSTEM_CALL(rename)(file->temp, file->target) == 0;
  int error = errno;
  if (renamed) {
    Watch(nullptr, file->temp);
    file->temp[0] = '\0';
    file->created = !exists;
  }
  ReleaseInterruptions();
  if (renamed) return 1;
  // A sticky folder lets no one move another's file away, nor can a mount point be
  // moved; either may still be written.
  return exists && (error == EPERM || error == EACCES || error == EBUSY) ? WriteIntoTarget(file)
                                                                         : 0;
}

const char* KeptBackup(const FileReplacement* file) {
  return file && file->backup[0] ? file->backup : nullptr;
}

void RemoveCreatedFile(FileReplacement* file) {
  if (file->created) SYSTEM_CALL(unlink)(file->target);
}

void EndFileReplacement(FileReplacement* file) {
  if (!file) return;
  if (file->stream) SYSTEM_CALL(fclose)(file->stream);
  if (file->content >= 0) close(file->content);
  HoldInterruptions();  // a signal between the two would remove the name again
  if (file->temp[0]) SYSTEM_CALL(unlink)(file->temp);
  Watch(nullptr, file->temp);
  ReleaseInterruptions();
  free(file);
  StopWatching();
}

// Under the lock: the temporary and the backup of target, if they are the user's.
static void RemoveLeftovers(const char* target) {
  char resolved[kPathSize];
  if (!ResolvePermittedLinks(target, resolved)) return;
  const char* const kinds[] = {"new", "backup"};
  for (const char* kind : kinds) {
    char name[kPathSize];
    if (!NameBeside(resolved, kind, name)) continue;
    // Only a plain file of the user's own: another user of the folder may have put
    // a file or a link of that name there.
    int fd = SYSTEM_CALL(open)(name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == geteuid()) {
      SYSTEM_CALL(unlink)(name);
    }
    close(fd);
  }
}

// The lock between converters: flock on the game folder itself, so that no lock
// file is left, and the system releases it when a holder is killed. (The mission
// folder would let other missions go on, but it may be replaced meanwhile.)
struct FileLock {
  int folder;  // -1 where the folder cannot be locked at all
};

static long MillisecondsNow() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

FileLock* LockFiles(const char*, const char* const* targets, size_t count, int wait_ms,
                    bool* name_taken) {
  *name_taken = false;  // no lock file here
  FileLock* lock = static_cast<FileLock*>(calloc(1, sizeof(FileLock)));
  if (!lock) return nullptr;
  lock->folder = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  long deadline = MillisecondsNow() + wait_ms;
  while (lock->folder >= 0 && flock(lock->folder, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      // A file system without such locks (some network ones): one converter alone
      // is still safe, and nothing is removed.
      close(lock->folder);
      lock->folder = -1;
      break;
    }
    if (MillisecondsNow() >= deadline) {
      close(lock->folder);
      free(lock);
      return nullptr;
    }
    usleep(20000);
  }
  // What a killed converter left is ours to remove only while we hold the lock.
  if (lock->folder >= 0) {
    for (size_t i = 0; i < count; ++i) RemoveLeftovers(targets[i]);
  }
  return lock;
}

void UnlockFiles(FileLock* lock) {
  if (!lock) return;
  if (lock->folder >= 0) close(lock->folder);  // releases the lock
  free(lock);
}
