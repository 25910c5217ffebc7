// POSIX implementation of the platform services. Backslash paths become slash
// paths, a message box is a line on stderr, and programs are started detached.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/platform.h"

struct FolderScan {
  DIR* folder;
};

FolderScan* BeginFolderScan(const char* pattern) {
  char folder[256];
  snprintf(folder, sizeof folder, "%s", pattern);
  char* slash = strrchr(folder, '\\');
  if (slash) {
    slash[1] = '\0';
    std::replace(folder, slash + 1, '\\', '/');
  } else {
    snprintf(folder, sizeof folder, ".");
  }
  DIR* opened = opendir(folder);
  if (!opened) return nullptr;
  return new FolderScan{opened};
}

FolderStep NextFolderEntry(FolderScan* scan, const char** name) {
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(scan->folder);
    if (!entry) return errno == 0 ? kFolderEnd : kFolderError;
    const char* found = entry->d_name;
    if (strcmp(found, ".") == 0 || strcmp(found, "..") == 0) continue;
    // A line break would add a line to the list; a backslash would read as a
    // separator in the list's backslash paths.
    if (strpbrk(found, "\r\n\\")) return kFolderBadName;
    *name = found;
    return kFolderEntry;
  }
}

void EndFolderScan(FolderScan* scan) {
  closedir(scan->folder);
  delete scan;
}

FILE* CreateTemporaryFile(char* temp_name) {
  snprintf(temp_name, kTempNameSize, ".korvidane-convert-XXXXXX");
  int fd = mkstemp(temp_name);
  if (fd < 0) return nullptr;
  // mkstemp makes the file private; the finished file gets the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  FILE* file = fchmod(fd, 0666 & ~mask) == 0 ? fdopen(fd, "wb") : nullptr;
  if (!file) {
    close(fd);
    unlink(temp_name);
  }
  return file;
}

int MoveFileOver(const char* source, const char* target) {
  return rename(source, target) == 0 ? 1 : 0;
}

void ShowMessageBox(const char* text) {
  fprintf(stderr, "Chyba: %s\n", text);
  fflush(stderr);
}

static bool IsWindowsProgram(const std::string& path) {
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
static bool FindProgram(const char* program, bool working_directory_first, std::string* path) {
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

void StartProgramHidden(const char* program, const char* parameter) {
  std::string path;
  if (!FindProgram(program, true, &path)) return;
  std::string wine;
  if (IsWindowsProgram(path) && !FindProgram("wine", false, &wine)) return;
  const char* argv[4];
  int argc = 0;
  if (!wine.empty()) argv[argc++] = wine.c_str();
  argv[argc++] = path.c_str();
  argv[argc++] = parameter;
  argv[argc] = nullptr;

  // Only async-signal-safe calls between fork and exec.
  pid_t child = fork();
  if (child < 0) return;
  if (child == 0) {
    // Its own session keeps a Ctrl-C in our terminal from reaching it; the
    // intermediate child exits at once so the program is never our zombie.
    setsid();
    if (fork() != 0) _exit(0);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      if (null > STDERR_FILENO) close(null);
    }
    // Ignored signals stay ignored across exec; the program starts as fresh.
    struct sigaction standard;
    memset(&standard, 0, sizeof standard);
    standard.sa_handler = SIG_DFL;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
      sigaction(signal_number, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}
