// DrawFrame and its kin: a frame and the moves around it, written in one go, and
// how many rows the last one took once the terminal wrapped it.
#include "ui/terminal_frame.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ui/terminal.h"

namespace {

const char kEscape = '\x1b';

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

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

size_t RowsFilled(size_t width, size_t columns) {
  return width == 0 ? 1 : (width + columns - 1) / columns;
}

// The row, counted from 0 within a wrapped row, on which the cursor stands after
// width columns; at an exact multiple it waits at the end of the full row.
size_t CursorRow(size_t width, size_t columns) {
  return width > 0 && width % columns == 0 ? width / columns - 1 : width / columns;
}

// Appends a row broken between words to fit; the terminal rows it takes.
int AppendWrapped(Output* out, const char* row, size_t columns) {
  int rows = 1;
  size_t length = strlen(row);
  size_t cut;
  while (DisplayWidth(row, length) > columns && (cut = RowBreak(row, columns)) > 0) {
    Append(out, "%.*s\r\n", static_cast<int>(cut), row);
    while (row[cut] == ' ') ++cut;
    row += cut;
    length -= cut;
    ++rows;
  }
  Append(out, "%s", row);
  return rows - 1 + static_cast<int>(RowsFilled(DisplayWidth(row, length), columns));
}

void MoveToFrameTop(Output* out) {
  Append(out, "\r");
  if (rows_above_cursor > 0) Append(out, "\x1b[%dA", rows_above_cursor);
}

}  // namespace

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

size_t RowBreak(const char* row, size_t columns) {
  size_t width = 0, cut = 0;
  int brackets = 0;
  for (size_t i = 0; row[i] && width <= columns; ++i) {
    if (row[i] == kEscape) {  // ESC [ ... m takes no column
      while (row[i + 1] && !(row[i + 1] >= 0x40 && row[i + 1] <= 0x7E && row[i + 1] != '[')) ++i;
      if (row[i + 1]) ++i;
      continue;
    }
    if (row[i] == '[') ++brackets;
    if (row[i] == ']' && brackets > 0) --brackets;
    if (row[i] == ' ' && i > 0 && row[i - 1] != ' ' && brackets == 0) cut = i;
    if (!IsContinuationByte(row[i])) ++width;
  }
  return cut;
}

void DrawFrame(const Frame* frame) {
  Output out;
  out.length = 0;
  if (clear_screen_first) Append(&out, "\x1b[H\x1b[2J");
  if (frame_drawn) MoveToFrameTop(&out);
  Append(&out, "\r\x1b[J");
  size_t columns = TerminalColumns();
  int rows_before_last = 0;
  for (int i = 0; i + 1 < frame->row_count; ++i) {
    rows_before_last += AppendWrapped(&out, frame->rows[i], columns);
    Append(&out, "\r\n");
  }
  if (frame->row_count > 0) Append(&out, "%s", frame->rows[frame->row_count - 1]);
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

size_t WrapLines(const char* text, char* wrapped, size_t size) {
  Output out;
  out.length = 0;
  size_t columns = TerminalColumns();
  char line[2 * kFrameRowSize];  // a conversion's message may be longer than a row
  while (*text) {
    size_t length = strcspn(text, "\n");
    snprintf(line, sizeof line, "%.*s", static_cast<int>(length), text);
    AppendWrapped(&out, line, columns);
    Append(&out, "\r\n");
    text += length + (text[length] == '\n');
  }
  size_t length = out.length < size ? out.length : size - 1;
  memcpy(wrapped, out.text, length);
  wrapped[length] = '\0';
  return length;
}

void ForgetFrame(bool clear_screen) {
  frame_drawn = false;
  clear_screen_first = clear_screen;
}
