// Starting the updater detached: a session of its own, /dev/null for its input and
// output, a fresh signal state, and never our zombie. A Windows program is started
// through wine.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/program_lookup_posix.h"
#include "platform/program_start.h"
#include "platform/system_calls.h"

// In the detached child: only async-signal-safe calls. A failed exec writes its
// errno into report, which closes by itself when exec succeeds.
static void ExecDetached(const char* const* argv, int report) {
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
  int error = errno;
  ssize_t written = write(report, &error, sizeof error);
  (void)written;  // the parent then reads an end, and counts that as started
  _exit(127);
}

int StartProgramHidden(const char* program, const char* parameter) {
  std::string path;
  if (!FindProgram(program, true, &path)) return 0;
  std::string wine;
  if (IsWindowsProgram(path) && !FindProgram("wine", false, &wine)) return 0;
  const char* argv[4];
  int argc = 0;
  if (!wine.empty()) argv[argc++] = wine.c_str();
  argv[argc++] = path.c_str();
  argv[argc++] = parameter;
  argv[argc] = nullptr;

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return 0;
  pid_t child = SYSTEM_CALL(fork)();
  if (child == 0) {
    // Its own session keeps a Ctrl-C in our terminal from reaching it; the
    // intermediate child exits at once so the program is never our zombie.
    close(report[0]);
    setsid();
    pid_t program = fork();
    if (program > 0) _exit(0);
    if (program < 0) {
      int error = errno;
      ssize_t written = write(report[1], &error, sizeof error);
      (void)written;
      _exit(1);
    }
    ExecDetached(argv, report[1]);
  }
  close(report[1]);
  int error = 0;
  ssize_t got = 0;
  if (child > 0) {
    // The pipe closes when exec has succeeded, or when the child died without it.
    do {
      got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  close(report[0]);
  return child > 0 && got == 0 ? 1 : 0;
}
