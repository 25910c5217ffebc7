// Codes typed on a line, applied to the selection: the one parser behind the key
// dialog's command line and the lines read from a pipe. Pure.
#pragma once

#include <cstddef>

// What a line or a key asks of the dialog; a line never asks for nothing or a bell.
enum DialogAction {
  kDialogNothing,       // only the state may have changed
  kDialogBell,          // the key cannot be taken
  kDialogConvert,       // convert the (possibly new) selection
  kDialogQuit,          // "q" or Esc
  kDialogUnknownCode,   // nothing selected, nothing converted
  kDialogTooManyCodes,  // two campaigns or two missions; nothing selected
};

// Applies one input line to the selection, given as indexes into the selection
// tables. The selection changes only when the whole line is valid. The first
// unknown code is copied, made printable, into unknown.
DialogAction ApplySelectionLine(const char* line, size_t length, size_t* campaign, size_t* mission,
                                char* unknown, size_t unknown_size);

// The blanks between codes.
bool IsCodeSeparator(char c);

// Copies text for display: control bytes become "?", and a cut never splits a
// UTF-8 letter.
void CopyPrintable(const char* text, size_t length, char* out, size_t size);
