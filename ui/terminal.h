// The terminal under the dialog: raw mode and its return on every way out, keys
// read from it, and writes to it. Decoding keys and drawing frames live apart.
#pragma once

#include <cstddef>

#include "ui/key_decoder.h"

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

// The terminal's width, 80 when it does not say.
size_t TerminalColumns();
// Writes to the terminal; a failed write is dropped, as nothing could show it.
void WriteToTerminal(const char* text, size_t length);
void RingBell();
