// The terminal under the dialog: raw mode, its return on every way out with the
// signals that needs, and reading keys. The one file holding the terminal's state.
#include "ui/terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fatal_signals_posix.h"

namespace {

// Written before the handlers are installed, read by them.
int input_fd = -1;
int output_fd = -1;
struct termios saved_terminal;
struct termios raw_terminal;
volatile sig_atomic_t terminal_taken = 0;
volatile sig_atomic_t resized = 0;
volatile sig_atomic_t continued = 0;

// ---- Signals ----------------------------------------------------------------
// What the terminal needs on a signal: back as it was before the program ends or
// stops, raw again after fg, and a redraw after fg or a resize. The signals that
// end the program belong to their one owner; the terminal adds its cleanup there.

const int kRedrawSignals[] = {SIGTSTP, SIGCONT, SIGWINCH};
const int kRedrawCount = sizeof kRedrawSignals / sizeof kRedrawSignals[0];
struct sigaction saved_actions[kRedrawCount];

// The handlers below make only async-signal-safe calls and keep errno, which the
// code they interrupt may be about to read.

// Moves below the dialog, so that what the shell writes next does not cover it.
void LeaveDialogRows() {
  ssize_t written = write(output_fd, "\r\n", 2);
  (void)written;  // nothing to be done about a terminal that is gone
}

void PutTerminalBack() {
  if (terminal_taken) {
    tcsetattr(input_fd, TCSANOW, &saved_terminal);
    LeaveDialogRows();
  }
}

void OnStop(int) {
  int saved_errno = errno;
  PutTerminalBack();
  SetDefaultSignalAction(SIGTSTP);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // it is blocked while we handle it
  raise(SIGTSTP);                            // stopped here until fg
  SetSignalHandler(SIGTSTP, OnStop, nullptr);
  if (terminal_taken) tcsetattr(input_fd, TCSANOW, &raw_terminal);
  errno = saved_errno;
}

void OnContinue(int) { continued = 1; }
void OnResize(int) { resized = 1; }

// No SA_RESTART: a wait for a key ends so that the dialog can be drawn again.
void CatchSignals() {
  PushFatalSignalCleanup(PutTerminalBack);
  void (*const handlers[kRedrawCount])(int) = {OnStop, OnContinue, OnResize};
  for (int i = 0; i < kRedrawCount; ++i) {
    sigaction(kRedrawSignals[i], nullptr, &saved_actions[i]);
    // A signal the caller told us to ignore stays ignored.
    if (saved_actions[i].sa_handler == SIG_IGN) continue;
    SetSignalHandler(kRedrawSignals[i], handlers[i], nullptr);
  }
}

void PutBackSignals() {
  for (int i = 0; i < kRedrawCount; ++i) sigaction(kRedrawSignals[i], &saved_actions[i], nullptr);
  PopFatalSignalCleanup(PutTerminalBack);
}

// ---- End of signals ---------------------------------------------------------

// Bytes read but not yet made into keys.
char pending[64];
size_t pending_length = 0;

enum WaitResult { kWaitReady, kWaitTimedOut, kWaitInterrupted, kWaitFailed };

// The signals that ask for a redraw are blocked until the wait itself, so none
// arrives between looking at the flags and starting to wait.
WaitResult WaitForInput(int timeout_ms) {
  sigset_t redraw_signals, previous;
  sigemptyset(&redraw_signals);
  sigaddset(&redraw_signals, SIGWINCH);
  sigaddset(&redraw_signals, SIGCONT);
  sigprocmask(SIG_BLOCK, &redraw_signals, &previous);
  WaitResult result = kWaitInterrupted;
  if (!resized && !continued) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(input_fd, &readable);
    struct timespec timeout = {timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
    int ready = pselect(input_fd + 1, &readable, nullptr, nullptr,
                        timeout_ms < 0 ? nullptr : &timeout, &previous);
    if (ready > 0) {
      result = kWaitReady;
    } else if (ready == 0) {
      result = kWaitTimedOut;
    } else if (errno != EINTR) {
      result = kWaitFailed;
    }
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  return result;
}

// False at the end of input or on a read error.
bool ReadMore() {
  ssize_t got = read(input_fd, pending + pending_length, sizeof pending - pending_length);
  if (got > 0) {
    pending_length += static_cast<size_t>(got);
    return true;
  }
  return got < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

bool TakeOverTerminal(int input, int output) {
  if (!isatty(input) || !isatty(output) || tcgetattr(input, &saved_terminal) != 0) return false;
  input_fd = input;
  output_fd = output;
  raw_terminal = saved_terminal;
  // Keys one by one, unechoed; Ctrl-C and Ctrl-Z still signal, output is as before.
  raw_terminal.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  raw_terminal.c_cc[VMIN] = 1;
  raw_terminal.c_cc[VTIME] = 0;
  CatchSignals();
  terminal_taken = 1;
  if (tcsetattr(input_fd, TCSANOW, &raw_terminal) != 0) {
    terminal_taken = 0;
    PutBackSignals();
    return false;
  }
  return true;
}

void RestoreTerminal() {
  if (!terminal_taken) return;
  terminal_taken = 0;
  tcsetattr(input_fd, TCSANOW, &saved_terminal);
  PutBackSignals();
}

bool TakeRedrawRequest(bool* clear_screen) {
  bool requested = continued || resized;
  *clear_screen = resized && !continued;
  continued = 0;
  resized = 0;
  return requested;
}

TerminalEvent ReadTerminalKey(Key* key) {
  for (;;) {
    if (continued) {
      continued = 0;
      resized = 0;
      return kTerminalContinued;
    }
    if (resized) {
      resized = 0;
      return kTerminalResized;
    }
    WaitResult wait = kWaitReady;
    if (pending_length > 0) {
      bool full = pending_length == sizeof pending;
      size_t used = DecodeKey(pending, pending_length, full, key);
      if (used == 0) {
        wait = WaitForInput(kKeyPauseMs);
        if (wait == kWaitTimedOut) used = DecodeKey(pending, pending_length, true, key);
      }
      if (used > 0) {
        pending_length -= used;
        memmove(pending, pending + used, pending_length);
        return kTerminalKey;
      }
    } else {
      wait = WaitForInput(-1);
    }
    if (wait == kWaitFailed) return kTerminalEnd;
    if (wait == kWaitReady && !ReadMore()) return kTerminalEnd;
  }
}

size_t TerminalColumns() {
  struct winsize size;
  if (ioctl(output_fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void WriteToTerminal(const char* text, size_t length) {
  while (length > 0) {
    ssize_t written = write(output_fd, text, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text += written;
    length -= static_cast<size_t>(written);
  }
}

void RingBell() { WriteToTerminal("\a", 1); }
