// Starting the updater detached: a session of its own, /dev/null for its input and
// output, every signal at its default and none blocked. It is not waited for: the
// program lets the system reap its children (terminal_dialog.cpp). A Windows
// program is started through wine.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstring>

#include "platform/program_lookup_posix.h"
#include "platform/program_start.h"
#include "platform/system_calls.h"

extern char** environ;

// One clone that shares our memory until the exec, which it reports if it fails.
// Ignored signals would stay ignored across exec: all go back to their default.
// Every bit of the set, not sigfillset: glibc's leaves out its two internal signals,
// and its posix_spawn then ignores them in the child, where exec keeps them so.
static bool SpawnDetached(char* const* argv) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  sigset_t all, none;
  memset(&all, 0xff, sizeof all);
  sigemptyset(&none);
  bool ready =
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDWR, 0) == 0 &&
      posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDOUT_FILENO) == 0 &&
      posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO) == 0 &&
      posix_spawnattr_setflags(
          &attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0 &&
      posix_spawnattr_setsigdefault(&attributes, &all) == 0 &&
      posix_spawnattr_setsigmask(&attributes, &none) == 0;
  pid_t child;
  bool started = false;
  if (ready) {
    started = SYSTEM_CALL(posix_spawn)(&child, argv[0], &actions, &attributes, argv, environ) == 0;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return started;
}

int StartProgramHidden(const char* program, const char* parameter) {
  char path[kProgramPathSize], wine[kProgramPathSize];
  bool windows = false;
  if (!FindProgram(program, true, path, &windows)) return 0;
  if (windows && !FindProgram("wine", false, wine, nullptr)) return 0;
  char* argv[4];
  int argc = 0;
  if (windows) argv[argc++] = wine;
  argv[argc++] = path;
  argv[argc++] = const_cast<char*>(parameter);
  argv[argc] = nullptr;
  return SpawnDetached(argv) ? 1 : 0;
}
