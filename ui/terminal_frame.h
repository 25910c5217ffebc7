// Drawing the dialog's rows in place with a few VT100 sequences. Apart from the
// terminal's modes and signals: it only writes, and knows where it drew last.
#pragma once

#include <cstddef>

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
// Where a row wider than columns breaks: at the blank after the last word that
// fits, never inside [ ] (a control stays whole); 0 when even the first word does
// not fit, and the terminal breaks it.
size_t RowBreak(const char* row, size_t columns);

// Rows wider than the terminal break between words, except the last one, which
// holds the cursor.
void DrawFrame(const Frame* frame);
// Erases the frame drawn last and leaves the cursor where it began, so that text
// written next takes its place; the next frame starts below that text.
void EraseFrame();
// The next frame starts at the top of a cleared screen, or where the cursor is.
void ForgetFrame(bool clear_screen);
// Lines of text, each broken between words to fit the terminal, into wrapped (cut
// where it does not fit); the length written.
size_t WrapLines(const char* text, char* wrapped, size_t size);
