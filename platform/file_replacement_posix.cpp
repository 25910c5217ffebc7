// Whole-file replacement on POSIX. The new file is made beside the target (without
// a name until complete where the system allows) and renamed over it; where that
// would change the file's owner or group, or the folder forbids it, the new content
// is written into the file itself. The old content keeps a name of its own,
// ".Am01.txt.old.INODE.TIME-PID-N", until both files are in place.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file_copy_posix.h"
#include "platform/file_replacement.h"
#include "platform/file_replacement_steps.h"
#include "platform/path_folder.h"
#include "platform/permitted_links_posix.h"
#include "platform/system_calls.h"
#include "platform/temp_names_posix.h"

struct FileReplacement {
  FILE* stream;            // the new content, while it is written
  char target[kPathSize];  // through links we may follow, the file they name
  char temp[kPathSize];    // the new content's name, empty while it has none
  char kept[kPathSize];    // the old content's name while it can still be put back
  bool created;            // there was no target before: kept is an empty mark of that
  bool write_in_place;     // the new content goes into the target itself
  bool keep_old;           // the old content could not be put back: its name stays
  int content;             // the new content, read through this and not by its name,
                           // which another user of the folder may rename; -1: none
};

namespace {

bool ProcFileSystemPresent() { return access("/proc/self/fd", X_OK) == 0; }

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
  BeginWatchingNames();

  // The new file has no name until it is complete, so not even a kill leaves it.
  char folder[kPathSize];
  FolderOf(file->target, folder, sizeof folder);
  int fd = -1;
  if (ProcFileSystemPresent()) {
    fd = SYSTEM_CALL(open)(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  }
  if (fd < 0) {
    // No such files here: a named temporary, removed on failure and on a signal.
    CreateBeside(file->target, "new", file->temp, [&](const char* name) {
      fd = SYSTEM_CALL(open)(name, O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
      return fd >= 0;
    });
  }
  // The new file keeps the old one's permissions and, where we may, its owner, as
  // a replaced file should.
  struct stat status;
  if (fd >= 0 && stat(file->target, &status) == 0) {
    if (fchown(fd, status.st_uid, status.st_gid) != 0) {
      // only root may give a file away: then it is written in place (below)
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
  if (ok && file->temp[0] == '\0') {
    // Named only now that it is complete.
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(file->stream));
    ok = CreateBeside(file->target, "new", file->temp, [&](const char* name) {
      return SYSTEM_CALL(linkat)(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
    });
  }
  file->content = ok ? fcntl(fileno(file->stream), F_DUPFD_CLOEXEC, 0) : -1;
  ok = SYSTEM_CALL(fclose)(file->stream) == 0 && ok && file->content >= 0;
  file->stream = nullptr;
  return ok ? 1 : 0;
}

// The new content's name still names it: another user of a folder without the
// sticky bit may have put something else there.
static bool StillOurContent(const FileReplacement* file) {
  struct stat named, content;
  return lstat(file->temp, &named) == 0 && fstat(file->content, &content) == 0 &&
         SameFile(named, content);
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

// The folder of path as an absolute path without links, then its last part.
static bool CanonicalName(const char* path, char* canonical, size_t size) {
  char folder[kPathSize];
  FolderOf(path, folder, sizeof folder);
  char real[PATH_MAX];
  if (!realpath(folder, real)) return false;
  int length = snprintf(canonical, size, "%s/%s", real, path + FolderPartLength(path, '/'));
  return length >= 0 && static_cast<size_t>(length) < size;
}

int SameTarget(const FileReplacement* one, const FileReplacement* other) {
  struct stat first, second;
  if (stat(one->target, &first) == 0 && stat(other->target, &second) == 0) {
    return SameFile(first, second) ? 1 : 0;
  }
  // One not there yet: two links may still name the same new file.
  char first_name[PATH_MAX + kPathSize];
  char second_name[PATH_MAX + kPathSize];
  if (!CanonicalName(one->target, first_name, sizeof first_name) ||
      !CanonicalName(other->target, second_name, sizeof second_name)) {
    return strcmp(one->target, other->target) == 0 ? 1 : 0;
  }
  return strcmp(first_name, second_name) == 0 ? 1 : 0;
}

// The target is another user's, or the folder lets no one else move it: the new
// content is written into the file, which keeps its owner, group and mode. A copy
// of the old content, ours alone, was kept first; its time is kept ahead while the
// target is written (see leftovers_posix.cpp).
static int WriteIntoTarget(FileReplacement* file) {
  file->write_in_place = true;
  if (WriteContentInto(file->content, file->target, file->kept)) return 1;
  if (!WriteFileInto(file->kept, file->target, file->kept)) {
    file->keep_old = true;  // the only whole old content
    Unwatch(file->kept);
  }
  return 0;
}

// What a killed converter left names the file it is about (KindAbout; see
// leftovers_posix.cpp): "old" the new file that took the target's place, "over" the
// target it writes into, "none" the new file where there was none. A later
// conversion, or the user's own file put there, is another file.

// Keeps the old content as a copy ours alone, before writing into the target.
static bool KeepCopyToWriteInto(FileReplacement* file) {
  struct stat target;
  char kind[64];
  if (stat(file->target, &target) != 0) return false;
  KindAbout("over", target, kind, sizeof kind);
  return KeepCopy(file->target, false, kind, file->kept);
}

int PrepareFilePlacement(FileReplacement* file) {
  if (file->temp[0] == '\0') return 0;
  struct stat old, fresh;
  if (fstat(file->content, &fresh) != 0) return 0;
  char kind[64];
  file->created = lstat(file->target, &old) != 0;
  if (file->created) {
    // A mark that there was none, so that a kill between the two files is undone.
    KindAbout("none", fresh, kind, sizeof kind);
    return CreateBeside(file->target, kind, file->kept, [&](const char* name) {
      int mark = SYSTEM_CALL(open)(name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
      return mark >= 0 && close(mark) == 0;
    });
  }
  // Renaming the new file into place would hand another user's list to us.
  file->write_in_place = fresh.st_uid != old.st_uid || fresh.st_gid != old.st_gid;
  if (file->write_in_place) return KeepCopyToWriteInto(file);
  // The old content keeps a name of its own until the other files are in place,
  // so that it can be put back: a second link to it, else a copy standing for it.
  KindAbout("old", fresh, kind, sizeof kind);
  return CreateBeside(
             file->target, kind, file->kept,
             [&](const char* name) { return SYSTEM_CALL(link)(file->target, name) == 0; }) ||
         KeepCopy(file->target, true, kind, file->kept);
}

int PutFileInPlace(FileReplacement* file) {
  if (file->write_in_place) return WriteIntoTarget(file);
  if (!StillOurContent(file)) return 0;
  if (SYSTEM_CALL(rename)(file->temp, file->target) == 0) {
    Unwatch(file->temp);
    file->temp[0] = '\0';
    return 1;
  }
  // A sticky folder refuses to move over another's file: then it is written into,
  // and a second link to it would not keep its old content.
  if ((errno != EPERM && errno != EACCES) || file->created) return 0;
  unlink(file->kept);
  Unwatch(file->kept);
  file->kept[0] = '\0';
  return KeepCopyToWriteInto(file) ? WriteIntoTarget(file) : 0;
}

int RestorePreviousFile(FileReplacement* file) {
  if (file->write_in_place) {
    if (WriteFileInto(file->kept, file->target, file->kept)) return 1;
  } else if (file->created) {
    if (unlink(file->target) == 0 || errno == ENOENT) return 1;
  } else if (file->kept[0]) {
    if (SYSTEM_CALL(rename)(file->kept, file->target) == 0) {
      Unwatch(file->kept);
      file->kept[0] = '\0';
      return 1;
    }
  } else {
    return 1;
  }
  // Where it cannot be put back, the only old content left stays under its name.
  file->keep_old = true;
  Unwatch(file->kept);
  return 0;
}

void EndFileReplacement(FileReplacement* file) {
  if (!file) return;
  if (file->stream) SYSTEM_CALL(fclose)(file->stream);
  if (file->content >= 0) close(file->content);
  if (file->temp[0]) unlink(file->temp);
  if (file->kept[0] && !file->keep_old) unlink(file->kept);
  Unwatch(file->temp);
  Unwatch(file->kept);
  free(file);
  EndWatchingNames();
}
