// The terminal under the dialog: raw mode, signals, keys and drawing.
#include "ui/terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

const char kEscape = '\x1b';
// Longer than any key we know; a longer run after Esc is no key.
const size_t kLongestSequence = 16;

size_t Escape(Key* key) {
  key->name = kKeyEscape;
  return 1;
}

size_t Ignored(Key* key, size_t length) {
  key->name = kKeyIgnored;
  return length;
}

bool IsFinalByte(char c) { return c >= 0x40 && c <= 0x7E; }

struct KeyCode {
  int code;
  KeyName name;
};

// The final bytes of ESC [ and ESC O sequences, and the numbers before "~".
const KeyCode kCursorKeys[] = {{'A', kKeyUp},   {'B', kKeyDown}, {'C', kKeyRight},
                               {'D', kKeyLeft}, {'H', kKeyHome}, {'F', kKeyEnd}};
const KeyCode kTildeKeys[] = {
    {1, kKeyHome}, {7, kKeyHome}, {4, kKeyEnd}, {8, kKeyEnd}, {3, kKeyDelete}};
const KeyCode kControlKeys[] = {{'\r', kKeyEnter},     {'\n', kKeyEnter},     {'\t', kKeyTab},
                                {0x7f, kKeyBackspace}, {'\b', kKeyBackspace}, {0x04, kKeyCtrlD},
                                {0x15, kKeyCtrlU},     {0x17, kKeyCtrlW}};

KeyName Lookup(const KeyCode* table, size_t count, int code) {
  for (size_t i = 0; i < count; ++i) {
    if (table[i].code == code) return table[i].name;
  }
  return kKeyIgnored;
}

// ESC [ parameters final. Modifiers (Ctrl-Up is ESC [ 1 ; 5 A) do not change the key.
KeyName ControlSequenceKey(const char* parameters, size_t length, char final_byte) {
  if (final_byte == 'Z') return kKeyBackTab;
  if (final_byte != '~') return Lookup(kCursorKeys, std::size(kCursorKeys), final_byte);
  int number = 0;
  for (size_t i = 0; i < length && parameters[i] >= '0' && parameters[i] <= '9'; ++i) {
    if (number < 1000) number = number * 10 + (parameters[i] - '0');
  }
  return Lookup(kTildeKeys, std::size(kTildeKeys), number);
}

size_t DecodeEscape(const char* bytes, size_t length, bool input_paused, Key* key) {
  if (length < 2) return input_paused ? Escape(key) : 0;
  if (bytes[1] == 'O') {  // SS3, the cursor keys in application mode
    if (length < 3) return input_paused ? Escape(key) : 0;
    if (!IsFinalByte(bytes[2])) return Escape(key);
    key->name = Lookup(kCursorKeys, std::size(kCursorKeys), bytes[2]);
    return 3;
  }
  if (bytes[1] != '[') return Escape(key);  // Alt+letter, Esc q, a paste
  size_t end = 2;
  while (end < length && end < kLongestSequence && bytes[end] >= 0x30 && bytes[end] <= 0x3F) ++end;
  while (end < length && end < kLongestSequence && bytes[end] >= 0x20 && bytes[end] <= 0x2F) ++end;
  if (end == kLongestSequence) return Escape(key);
  if (end == length) return input_paused ? Escape(key) : 0;
  if (!IsFinalByte(bytes[end])) return Escape(key);
  key->name = ControlSequenceKey(bytes + 2, end - 2, bytes[end]);
  return end + 1;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// One UTF-8 letter; broken ones and C1 controls are dropped.
size_t DecodeLetter(const char* bytes, size_t length, bool input_paused, Key* key) {
  unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (first < 0xC2 || first > 0xF4) return Ignored(key, 1);
  size_t letter_length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
  for (size_t i = 1; i < letter_length; ++i) {
    if (i == length) return input_paused ? Ignored(key, i) : 0;
    if (!IsContinuationByte(bytes[i])) return Ignored(key, i);
  }
  if (first == 0xC2 && static_cast<unsigned char>(bytes[1]) < 0xA0) return Ignored(key, 2);
  key->name = kKeyText;
  memcpy(key->text, bytes, letter_length);
  key->text[letter_length] = '\0';
  return letter_length;
}

}  // namespace

size_t DecodeKey(const char* bytes, size_t length, bool input_paused, Key* key) {
  key->name = kKeyIgnored;
  key->text[0] = '\0';
  if (length == 0) return 0;
  unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (bytes[0] == kEscape) return DecodeEscape(bytes, length, input_paused, key);
  if (first >= 0x80) return DecodeLetter(bytes, length, input_paused, key);
  if (first >= 0x20 && first < 0x7F) {
    key->name = kKeyText;
    key->text[0] = bytes[0];
    key->text[1] = '\0';
    return 1;
  }
  key->name = Lookup(kControlKeys, std::size(kControlKeys), first);
  return 1;
}

size_t DisplayWidth(const char* text, size_t length) {
  size_t width = 0;
  size_t i = 0;
  while (i < length) {
    if (text[i] == kEscape) {  // ESC [ ... m
      ++i;
      while (i < length && !(text[i] >= 0x40 && text[i] <= 0x7E && text[i] != '[')) ++i;
      ++i;
      continue;
    }
    if (!IsContinuationByte(text[i])) ++width;
    ++i;
  }
  return width;
}

namespace {

// Written before the handlers are installed, read by them.
int input_fd = -1;
int output_fd = -1;
struct termios saved_terminal;
struct termios raw_terminal;
volatile sig_atomic_t terminal_taken = 0;
volatile sig_atomic_t resized = 0;
volatile sig_atomic_t continued = 0;

const int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH};
const int kHandledCount = sizeof kHandledSignals / sizeof kHandledSignals[0];
struct sigaction saved_actions[kHandledCount];
struct sigaction stop_action;

void SetDefaultAction(int signal_number) {
  struct sigaction standard;
  memset(&standard, 0, sizeof standard);
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signal_number, &standard, nullptr);
}

// The handlers below make only async-signal-safe calls and keep errno, which the
// code they interrupt may be about to read.

// Moves below the dialog, so that what the shell writes next does not cover it.
void LeaveDialogRows() {
  ssize_t written = write(output_fd, "\r\n", 2);
  (void)written;  // nothing to be done about a terminal that is gone
}

void OnTerminatingSignal(int signal_number) {
  int saved_errno = errno;
  if (terminal_taken) {
    tcsetattr(input_fd, TCSANOW, &saved_terminal);
    LeaveDialogRows();
  }
  SetDefaultAction(signal_number);
  raise(signal_number);  // delivered as soon as this handler returns
  errno = saved_errno;
}

void OnStop(int) {
  int saved_errno = errno;
  if (terminal_taken) {
    tcsetattr(input_fd, TCSANOW, &saved_terminal);
    LeaveDialogRows();
  }
  SetDefaultAction(SIGTSTP);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // it is blocked while we handle it
  raise(SIGTSTP);                            // stopped here until fg
  sigaction(SIGTSTP, &stop_action, nullptr);
  if (terminal_taken) tcsetattr(input_fd, TCSANOW, &raw_terminal);
  errno = saved_errno;
}

void OnContinue(int) { continued = 1; }
void OnResize(int) { resized = 1; }

void (*HandlerFor(int signal_number))(int) {
  switch (signal_number) {
    case SIGTSTP:
      return OnStop;
    case SIGCONT:
      return OnContinue;
    case SIGWINCH:
      return OnResize;
    default:
      return OnTerminatingSignal;
  }
}

// No SA_RESTART: a wait for a key ends so that the dialog can be drawn again.
void CatchSignals() {
  for (int i = 0; i < kHandledCount; ++i) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = HandlerFor(kHandledSignals[i]);
    sigemptyset(&action.sa_mask);
    if (kHandledSignals[i] == SIGTSTP) stop_action = action;
    sigaction(kHandledSignals[i], nullptr, &saved_actions[i]);
    // A signal the caller told us to ignore stays ignored.
    if (saved_actions[i].sa_handler == SIG_IGN) continue;
    sigaction(kHandledSignals[i], &action, nullptr);
  }
}

void PutBackSignals() {
  for (int i = 0; i < kHandledCount; ++i) sigaction(kHandledSignals[i], &saved_actions[i], nullptr);
}

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

namespace {

// A frame and the sequences around it, written in one go.
struct Output {
  char text[kFrameRows * kFrameRowSize + 256];
  size_t length;
};

void Append(Output* out, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  size_t room = sizeof out->text - out->length;
  int written = vsnprintf(out->text + out->length, room, format, arguments);
  va_end(arguments);
  if (written < 0) return;
  size_t added = static_cast<size_t>(written);
  out->length += added < room ? added : room - 1;  // a cut frame is still drawn
}

bool frame_drawn = false;
bool clear_screen_first = false;
// From the frame's first row down to the cursor, counting wrapped rows.
int rows_above_cursor = 0;

size_t TerminalColumns() {
  struct winsize size;
  if (ioctl(output_fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

size_t RowsFilled(size_t width, size_t columns) {
  return width == 0 ? 1 : (width + columns - 1) / columns;
}

// The row, counted from 0 within a wrapped row, on which the cursor stands after
// width columns; at an exact multiple it waits at the end of the full row.
size_t CursorRow(size_t width, size_t columns) {
  return width > 0 && width % columns == 0 ? width / columns - 1 : width / columns;
}

void MoveToFrameTop(Output* out) {
  Append(out, "\r");
  if (rows_above_cursor > 0) Append(out, "\x1b[%dA", rows_above_cursor);
}

}  // namespace

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

void DrawFrame(const Frame* frame) {
  Output out;
  out.length = 0;
  if (clear_screen_first) Append(&out, "\x1b[H\x1b[2J");
  if (frame_drawn) MoveToFrameTop(&out);
  Append(&out, "\r\x1b[J");
  size_t columns = TerminalColumns();
  int rows_before_last = 0;
  for (int i = 0; i < frame->row_count; ++i) {
    const char* row = frame->rows[i];
    Append(&out, i + 1 < frame->row_count ? "%s\r\n" : "%s", row);
    if (i + 1 < frame->row_count) {
      rows_before_last += static_cast<int>(RowsFilled(DisplayWidth(row, strlen(row)), columns));
    }
  }
  const char* last = frame->row_count > 0 ? frame->rows[frame->row_count - 1] : "";
  size_t end_width = DisplayWidth(last, strlen(last));
  size_t cursor_width = DisplayWidth(last, frame->cursor_offset);
  size_t cursor_row = CursorRow(end_width, columns);
  if (cursor_width < end_width) {
    size_t target_row = cursor_width / columns;
    if (cursor_row > target_row) Append(&out, "\x1b[%zuA", cursor_row - target_row);
    Append(&out, "\r");
    if (cursor_width % columns > 0) Append(&out, "\x1b[%zuC", cursor_width % columns);
    cursor_row = target_row;
  }
  WriteToTerminal(out.text, out.length);
  rows_above_cursor = rows_before_last + static_cast<int>(cursor_row);
  frame_drawn = true;
  clear_screen_first = false;
}

void EraseFrame() {
  if (!frame_drawn) return;
  Output out;
  out.length = 0;
  MoveToFrameTop(&out);
  Append(&out, "\x1b[J");
  WriteToTerminal(out.text, out.length);
  frame_drawn = false;
}

void ForgetFrame(bool clear_screen) {
  frame_drawn = false;
  clear_screen_first = clear_screen;
}
