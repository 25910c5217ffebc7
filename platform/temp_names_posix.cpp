// The watched names of temporaries, removed by the fatal-signal cleanup.
#include "platform/temp_names_posix.h"

#include <signal.h>

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

bool LeftByEndedProcess(const char* pid_and_number) {
  char* end = nullptr;
  long pid = strtol(pid_and_number, &end, 10);
  if (pid <= 0 || !end || *end != '-') return false;
  if (pid == getpid()) return true;  // an earlier process of our number
  return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

unsigned NextNameNumber() {
  static unsigned counter = 0;
  return ++counter;
}
