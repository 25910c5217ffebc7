// Copying a file's content, whole or not at all.
#include "platform/file_copy_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/system_calls.h"
#include "platform/temp_names_posix.h"

// Moves from to the new name to, never over a file already there.
bool RenameNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without that: a second link, then the first name goes.
  if (SYSTEM_CALL(link)(from, to) != 0) return false;
  unlink(from);
  return true;
}

namespace {

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

// Copies everything from one open file to the other; false on any failed read or
// write, so that a copy cut short never counts as whole.
bool CopyContent(int from, int to, const char* lease) {
  char buffer[16384];
  for (;;) {
    ssize_t got = SYSTEM_CALL(read)(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (lease && !RenewLease(lease)) return false;
    if (!WriteAll(to, buffer, static_cast<size_t>(got))) return false;
  }
}

}  // namespace

bool KeepCopy(const char* source, bool with_owner, const char* kind, char* copy) {
  // Not a pipe put in the target's place meanwhile: it would never answer.
  int from = SYSTEM_CALL(open)(source, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat status;
  if (from < 0 || fstat(from, &status) != 0 || !S_ISREG(status.st_mode)) {
    if (from >= 0) close(from);
    return false;
  }
  char part[kPathSize];
  int to = -1;
  bool ok = CreateBeside(source, "part", part, [&](const char* name) {
    to = SYSTEM_CALL(open)(name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    return to >= 0;
  });
  if (ok && with_owner) {
    ok = fchown(to, status.st_uid, status.st_gid) == 0 && fchmod(to, status.st_mode & 07777) == 0;
  }
  ok = ok && CopyContent(from, to, nullptr);
  close(from);
  if (to >= 0) ok = close(to) == 0 && ok;
  ok = ok && CreateBeside(source, kind, copy,
                          [&](const char* name) { return RenameNoReplace(part, name); });
  if (part[0]) {
    if (!ok) unlink(part);
    Unwatch(part);
  }
  return ok;
}

bool RenewLease(const char* lease) {
  struct timespec ahead[2];
  clock_gettime(CLOCK_REALTIME, &ahead[1]);
  ahead[1].tv_sec += 2;
  ahead[0] = ahead[1];
  return utimensat(AT_FDCWD, lease, ahead, AT_SYMLINK_NOFOLLOW) == 0;
}

bool WriteContentInto(int from, const char* target, const char* lease) {
  if (lseek(from, 0, SEEK_SET) != 0) return false;
  int to = SYSTEM_CALL(open)(target, O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat status;
  if (to < 0 || fstat(to, &status) != 0 || !S_ISREG(status.st_mode)) {
    if (to >= 0) close(to);
    return false;
  }
  bool ok = (!lease || RenewLease(lease)) && CopyContent(from, to, lease);
  off_t end = lseek(to, 0, SEEK_CUR);
  ok = ok && end >= 0 && ftruncate(to, end) == 0;
  return close(to) == 0 && ok;
}

bool WriteFileInto(const char* source, const char* target, const char* lease) {
  int from = SYSTEM_CALL(open)(source, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat status;
  // Only a copy of our own: another user of the folder may have put one there.
  if (from < 0 || fstat(from, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_uid != geteuid()) {
    if (from >= 0) close(from);
    return false;
  }
  bool ok = WriteContentInto(from, target, lease);
  close(from);
  return ok;
}
