// The watched names of temporaries, removed by the fatal-signal cleanup.
#include "platform/temp_names_posix.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fatal_signals_posix.h"

namespace {

// A slot is in use while it points to a name whose first byte is not zero.
constexpr int kNamedFiles = 8;
char* volatile named_files[kNamedFiles];
int watchers = 0;
struct sigaction previous_file_size_action;

void RemoveNamedFiles() {
  for (char* volatile& name : named_files) {
    if (name && name[0]) unlink(name);
  }
}

}  // namespace

void BeginWatchingNames() {
  if (watchers++ > 0) return;
  PushFatalSignalCleanup(RemoveNamedFiles);
  // A file grown past the size limit fails the write, which is reported, instead
  // of ending the program.
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous_file_size_action);
}

void EndWatchingNames() {
  if (watchers == 0 || --watchers > 0) return;
  PopFatalSignalCleanup(RemoveNamedFiles);
  sigaction(SIGXFSZ, &previous_file_size_action, nullptr);
}

void Watch(char* name) {
  for (char* volatile& slot : named_files) {
    if (!slot) {
      slot = name;
      return;
    }
  }
}

void Unwatch(char* name) {
  for (char* volatile& slot : named_files) {
    if (slot == name) slot = nullptr;
  }
}

void FolderOf(const char* path, char* folder, size_t size) {
  size_t length = FolderPartLength(path, '/');
  if (length == 0) {
    snprintf(folder, size, ".");
  } else {
    snprintf(folder, size, "%.*s", length > 1 ? static_cast<int>(length - 1) : 1, path);
  }
}

// When the process of that number started, in seconds since the epoch, and whether
// it is a zombie; false where /proc cannot tell.
static bool ProcessStart(long pid, time_t* start, bool* zombie) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%ld/stat", pid);
  FILE* stat_file = fopen(path, "re");
  if (!stat_file) return false;
  char line[1024];
  bool read = fgets(line, sizeof line, stat_file) != nullptr;
  fclose(stat_file);
  const char* after_name = read ? strrchr(line, ')') : nullptr;
  char state = 0;
  unsigned long long ticks = 0;
  // After the name: state, then 18 fields, then the start time in clock ticks.
  if (!after_name || sscanf(after_name + 1,
                            " %c %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s "
                            "%*s %*s %llu",
                            &state, &ticks) != 2) {
    return false;
  }
  FILE* system = fopen("/proc/stat", "re");
  if (!system) return false;
  unsigned long long boot = 0;
  while (fgets(line, sizeof line, system) && sscanf(line, "btime %llu", &boot) != 1) {
  }
  fclose(system);
  long per_second = sysconf(_SC_CLK_TCK);
  if (boot == 0 || per_second <= 0) return false;
  *start = static_cast<time_t>(boot + ticks / static_cast<unsigned long long>(per_second));
  *zombie = state == 'Z';
  return true;
}

bool LeftByEndedProcess(const char* pid_and_number, const struct timespec& made) {
  char* end = nullptr;
  long pid = strtol(pid_and_number, &end, 10);
  if (pid <= 0 || !end || *end != '-') return false;
  if (pid == getpid()) return true;  // an earlier process of our number
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
  time_t start;
  bool zombie;
  if (!ProcessStart(pid, &start, &zombie)) return false;  // alive, as far as we can tell
  return zombie || start > made.tv_sec + 1;               // a later process of the same number
}

long long ContentTime(const struct stat& file) {
  return static_cast<long long>(file.st_mtim.tv_sec) * 1000000000LL + file.st_mtim.tv_nsec;
}

void KindAbout(const char* kind, const struct stat& file, char* name, size_t size) {
  snprintf(name, size, "%s.%llu.%lld", kind, static_cast<unsigned long long>(file.st_ino),
           ContentTime(file));
}

bool ParseKindAbout(const char* text, unsigned long long* inode, long long* time) {
  char* end = nullptr;
  *inode = strtoull(text, &end, 10);
  *time = 0;  // none: no file's
  if (*end == '.') *time = strtoll(end + 1, &end, 10);
  return *end == '-';
}

unsigned NextNameNumber() {
  static unsigned counter = 0;
  return ++counter;
}
