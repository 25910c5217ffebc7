// The terminal under the dialog: raw mode and its return on every way out, the
// bytes of a key turned into the key, and drawing a frame in place with a few
// VT100 sequences.
#pragma once

#include <cstddef>

enum KeyName {
  kKeyIgnored,  // a control byte or a key the dialog has no use for
  kKeyText,     // one letter, its UTF-8 bytes in Key::text
  kKeyEnter,
  kKeyTab,
  kKeyBackTab,  // Shift-Tab
  kKeyEscape,
  kKeyUp,
  kKeyDown,
  kKeyLeft,
  kKeyRight,
  kKeyHome,
  kKeyEnd,
  kKeyDelete,
  kKeyBackspace,
  kKeyCtrlD,
  kKeyCtrlU,
  kKeyCtrlW,
};

struct Key {
  KeyName name;
  char text[5];  // kKeyText: the letter's bytes, terminated
};

// Decodes the key at the start of bytes and returns how many bytes it takes. 0
// when the bytes begin a key whose other bytes have not arrived; once no more
// will come (input_paused), they are read as what they are on their own: an Esc
// that starts nothing known is an Esc.
size_t DecodeKey(const char* bytes, size_t length, bool input_paused, Key* key);

// How long the bytes of one key may lag behind each other (a slow link), and so
// how long a lone Esc waits.
constexpr int kKeyPauseMs = 300;

// Takes over the terminal on input_fd for single keys without echo, drawing on
// output_fd; both must be terminals. Ctrl-Z hands it back as it was and fg takes
// it over again; a terminating signal puts it back before the program ends.
// False, and nothing changed, when it cannot be done.
bool TakeOverTerminal(int input_fd, int output_fd);
void RestoreTerminal();

enum TerminalEvent {
  kTerminalKey,
  kTerminalResized,    // the window changed size: draw everything again
  kTerminalContinued,  // back from Ctrl-Z: the screen is not ours any more
  kTerminalEnd,        // input closed or failed
};
TerminalEvent ReadTerminalKey(Key* key);
// True when the terminal was resized or continued since the last key was read (as
// during a long conversion), and takes that event; clear_screen for a resize.
bool TakeRedrawRequest(bool* clear_screen);

// A frame is drawn over the previous one. Its rows are UTF-8 and may hold SGR
// sequences (ESC [ ... m); the cursor ends in the last row, cursor_offset bytes in.
constexpr int kFrameRows = 8;
constexpr size_t kFrameRowSize = 256;
struct Frame {
  char rows[kFrameRows][kFrameRowSize];
  int row_count;
  size_t cursor_offset;
};

// Columns a row fills: letters, not bytes, and no SGR sequences.
size_t DisplayWidth(const char* text, size_t length);

void DrawFrame(const Frame* frame);
// Erases the frame drawn last and leaves the cursor where it began, so that text
// written next takes its place; the next frame starts below that text.
void EraseFrame();
// The next frame starts at the top of a cleared screen, or where the cursor is.
void ForgetFrame(bool clear_screen);
// Writes to the terminal; a failed write is dropped, as nothing could show it.
void WriteToTerminal(const char* text, size_t length);
void RingBell();
