// Finding programs as the Windows shell finds a bare name.
#include "platform/program_lookup_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// A plain file we may run, or a Windows program (beginning with "MZ"), which needs
// no execute permission as wine starts it; *windows tells which.
static bool IsStartable(const char* path, bool* windows) {
  struct stat status;
  if (stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  char magic[2] = {0, 0};
  int file = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file >= 0) {
    *windows = read(file, magic, sizeof magic) == 2 && magic[0] == 'M' && magic[1] == 'Z';
    close(file);
  }
  return *windows || access(path, X_OK) == 0;
}

// The working directory first when asked, then each folder of PATH; the Windows
// shell looks for a program given by its bare name in that order.
bool FindProgram(const char* program, bool working_directory_first, char* path, bool* windows) {
  bool found_windows = false;
  bool* is_windows = windows ? windows : &found_windows;
  *is_windows = false;
  if (working_directory_first) {
    snprintf(path, kProgramPathSize, "./%s", program);
    if (IsStartable(path, is_windows)) return true;
  }
  const char* search = getenv("PATH");
  if (!search) return false;
  for (const char* folder = search;; ++folder) {
    const char* end = strchr(folder, ':');
    int length = static_cast<int>(end ? end - folder : strlen(folder));
    // An empty folder is the working directory.
    int written = length == 0
                      ? snprintf(path, kProgramPathSize, "./%s", program)
                      : snprintf(path, kProgramPathSize, "%.*s/%s", length, folder, program);
    if (written > 0 && static_cast<size_t>(written) < kProgramPathSize &&
        IsStartable(path, is_windows)) {
      return true;
    }
    if (!end) return false;
    folder = end;
  }
}
