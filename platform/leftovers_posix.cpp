// What a converter killed amid replacing a file left beside it: cleared by the
// next conversion under the lock, and an old content it had kept aside put back.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file_copy_posix.h"
#include "platform/file_replacement_steps.h"
#include "platform/path_folder.h"
#include "platform/permitted_links_posix.h"
#include "platform/system_calls.h"
#include "platform/temp_names_posix.h"

namespace {

bool NotLater(const struct timespec& one, const struct timespec& other) {
  return one.tv_sec < other.tv_sec || (one.tv_sec == other.tv_sec && one.tv_nsec <= other.tv_nsec);
}

enum LeftoverKind { kKeptOld, kKeptToWriteInto, kNoTargetMark };

// What a killed converter kept aside is put back only when it is the converting
// user's own (or, for root, the target owner's), a plain file opened without
// following a link (another user may plant a file or a link of that name in a
// folder others may write), and only while the target is the file that converter
// left: its new file (the inode in the leftover's name), or the target it wrote
// into, unchanged since (its change time not past the copy's time, which was kept a
// little ahead while it wrote). Else the leftover is stale and goes.
void PutBackLeftover(const char* kept, LeftoverKind kind, unsigned long long inode, long long time,
                     const char* target) {
  int fd = SYSTEM_CALL(open)(kept, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat kept_status = {}, target_status = {};
  bool target_there = stat(target, &target_status) == 0;
  bool ours = fstat(fd, &kept_status) == 0 && S_ISREG(kept_status.st_mode) &&
              (kept_status.st_uid == geteuid() ||
               (geteuid() == 0 && target_there && kept_status.st_uid == target_status.st_uid));
  bool left_by_it = target_there && target_status.st_ino == inode;
  if (kind == kKeptToWriteInto) {
    left_by_it = left_by_it && (NotLater(target_status.st_ctim, kept_status.st_ctim) ||
                                NotLater(target_status.st_ctim, kept_status.st_mtim));
  } else {
    left_by_it = left_by_it && ContentTime(target_status) == time;
  }
  if (ours && target_there && SameFile(kept_status, target_status)) {
    unlink(kept);  // killed before the new file took its place
  } else if (!ours) {
    // not ours: left as it is
  } else if (!left_by_it || (kind != kKeptOld && kept_status.st_nlink != 1)) {
    unlink(kept);  // stale, or not a copy of ours: none is lost
  } else if (kind == kNoTargetMark) {
    if (unlink(target) == 0) unlink(kept);  // there was no target before
  } else if (kind == kKeptOld && kept_status.st_gid == target_status.st_gid &&
             kept_status.st_uid == target_status.st_uid &&
             (kept_status.st_mode & 07777) == (target_status.st_mode & 07777)) {
    SYSTEM_CALL(rename)(kept, target);  // a second link, or a copy standing for it
  } else if (WriteContentInto(fd, target, kept)) {
    unlink(kept);  // a copy ours alone, of another user's file
  }
  close(fd);
}

}  // namespace

void RecoverLeftovers(const char* target) {
  char resolved[kPathSize];
  if (!ResolvePermittedLinks(target, resolved)) return;
  char folder[kPathSize];
  FolderOf(resolved, folder, sizeof folder);
  size_t folder_length = FolderPartLength(resolved, '/');
  char prefix[kPathSize];
  int prefix_length = snprintf(prefix, sizeof prefix, ".%s.", resolved + folder_length);
  if (prefix_length < 0 || static_cast<size_t>(prefix_length) >= sizeof prefix) return;
  DIR* listing = opendir(folder);
  if (!listing) return;
  // Temporaries go; an old content kept aside goes back, and only one known whole:
  // a copy has its ".old" name only once complete.
  while (const dirent* entry = readdir(listing)) {
    const char* name = entry->d_name;
    if (strncmp(name, prefix, static_cast<size_t>(prefix_length)) != 0) continue;
    const char* kind = name + prefix_length;
    bool temporary = strncmp(kind, "new-", 4) == 0 || strncmp(kind, "part-", 5) == 0;
    LeftoverKind left = kKeptOld;
    unsigned long long inode = 0;
    long long time = 0;
    const char* about = nullptr;
    if (strncmp(kind, "old.", 4) == 0) {
      about = kind + 4;
    } else if (strncmp(kind, "over.", 5) == 0) {
      left = kKeptToWriteInto;
      about = kind + 5;
    } else if (strncmp(kind, "none.", 5) == 0) {
      left = kNoTargetMark;
      about = kind + 5;
    }
    if (!temporary && !(about && ParseKindAbout(about, &inode, &time))) continue;
    char path[2 * kPathSize];
    snprintf(path, sizeof path, "%.*s%s", static_cast<int>(folder_length), resolved, name);
    struct stat status;
    if (lstat(path, &status) != 0 || !LeftByEndedProcess(strchr(kind, '-') + 1, status.st_ctim)) {
      continue;
    }
    if (temporary) {
      unlink(path);
    } else {
      PutBackLeftover(path, left, inode, time, resolved);
    }
  }
  closedir(listing);
}
