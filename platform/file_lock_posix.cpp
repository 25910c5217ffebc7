// The lock between converters: flock on the game folder itself, so that no lock
// file is left, and the system releases it when a holder is killed. (The mission
// folder would let other missions go on, but it may be replaced meanwhile.)
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_replacement.h"

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
