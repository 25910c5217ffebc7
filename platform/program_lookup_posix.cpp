// Finding programs as the Windows shell finds a bare name.
#include "platform/program_lookup_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool IsWindowsProgram(const std::string& path) {
  char magic[2] = {0, 0};
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  size_t read = fread(magic, 1, sizeof magic, file);
  fclose(file);
  return read == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// A Windows program needs no execute permission: wine starts it.
static bool IsStartable(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  return access(path.c_str(), X_OK) == 0 || IsWindowsProgram(path);
}

// The working directory first when asked, then each folder of PATH; the Windows
// shell looks for a program given by its bare name in that order.
bool FindProgram(const char* program, bool working_directory_first, std::string* path) {
  std::string candidate = std::string("./") + program;
  if (working_directory_first && IsStartable(candidate)) {
    *path = candidate;
    return true;
  }
  const char* search = getenv("PATH");
  if (!search) return false;
  for (const char* folder = search;; ++folder) {
    const char* end = strchr(folder, ':');
    size_t length = end ? static_cast<size_t>(end - folder) : strlen(folder);
    candidate.assign(folder, length);
    if (candidate.empty()) candidate = ".";
    candidate += '/';
    candidate += program;
    if (IsStartable(candidate)) {
      *path = candidate;
      return true;
    }
    if (!end) return false;
    folder = end;
  }
}
