// The handlers of the signals that end the program, and holding them back.
#include "platform/fatal_signals_posix.h"

#include <cerrno>
#include <cstring>

namespace {

const int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kFatalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];
constexpr int kMaxCleanups = 8;

FatalSignalCleanup volatile cleanups[kMaxCleanups];
volatile sig_atomic_t cleanup_count = 0;
struct sigaction previous_actions[kFatalCount];
sigset_t mask_before_holding;
int holds = 0;

void FatalSet(sigset_t* set) {
  sigemptyset(set);
  for (int signal_number : kFatalSignals) sigaddset(set, signal_number);
}

void OnFatalSignal(int signal_number) {
  int saved_errno = errno;
  for (sig_atomic_t i = cleanup_count; i-- > 0;) cleanups[i]();
  // Whoever handled the signal before us (or the default) now ends the program.
  for (int i = 0; i < kFatalCount; ++i) {
    if (kFatalSignals[i] == signal_number) sigaction(signal_number, &previous_actions[i], nullptr);
  }
  raise(signal_number);  // delivered as soon as this handler returns
  errno = saved_errno;
}

void InstallHandlers() {
  for (int i = 0; i < kFatalCount; ++i) {
    sigaction(kFatalSignals[i], nullptr, &previous_actions[i]);
    if (previous_actions[i].sa_handler == SIG_IGN) continue;
    SetSignalHandler(kFatalSignals[i], OnFatalSignal, nullptr);
  }
}

void RemoveHandlers() {
  for (int i = 0; i < kFatalCount; ++i) {
    struct sigaction current;
    sigaction(kFatalSignals[i], nullptr, &current);
    if (current.sa_handler == OnFatalSignal)
      sigaction(kFatalSignals[i], &previous_actions[i], nullptr);
  }
}

}  // namespace

void SetSignalHandler(int signal_number, void (*handler)(int), struct sigaction* previous) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  FatalSet(&action.sa_mask);
  sigaction(signal_number, &action, previous);
}

void SetDefaultSignalAction(int signal_number) {
  SetSignalHandler(signal_number, SIG_DFL, nullptr);
}

bool PushFatalSignalCleanup(FatalSignalCleanup cleanup) {
  if (cleanup_count == kMaxCleanups) return false;
  HoldInterruptions();
  if (cleanup_count == 0) InstallHandlers();
  cleanups[cleanup_count] = cleanup;
  cleanup_count = cleanup_count + 1;
  ReleaseInterruptions();
  return true;
}

void PopFatalSignalCleanup(FatalSignalCleanup cleanup) {
  HoldInterruptions();
  for (sig_atomic_t i = cleanup_count; i-- > 0;) {
    if (cleanups[i] != cleanup) continue;
    for (sig_atomic_t j = i; j + 1 < cleanup_count; ++j) cleanups[j] = cleanups[j + 1];
    cleanup_count = cleanup_count - 1;
    if (cleanup_count == 0) RemoveHandlers();
    break;
  }
  ReleaseInterruptions();
}

void HoldInterruptions() {
  if (holds++ > 0) return;
  sigset_t held;
  FatalSet(&held);
  sigprocmask(SIG_BLOCK, &held, &mask_before_holding);
}

// What the caller had blocked stays blocked.
void ReleaseInterruptions() {
  if (holds > 0 && --holds == 0) sigprocmask(SIG_SETMASK, &mask_before_holding, nullptr);
}
