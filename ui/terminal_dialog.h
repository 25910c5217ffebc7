// The conversion dialog in a terminal, for systems without the Windows dialog
// manager: the same texts, lists and commands, driven by lines of codes.
#pragma once

#include <cstddef>
#include <cstdio>

enum LineAction {
  kLineConvert,       // convert the (possibly new) selection
  kLineQuit,          // "q" or Esc
  kLineUnknownCode,   // nothing selected, nothing converted
  kLineTooManyCodes,  // two campaigns or two missions; nothing selected
};

// Applies one input line to the selection, given as indexes into the selection
// tables. The selection changes only when the whole line is valid. The first
// unknown code is copied, made printable, into unknown.
LineAction ApplySelectionLine(const char* line, size_t length, size_t* campaign, size_t* mission,
                              char* unknown, size_t unknown_size);

// Shows the dialog and converts until the user ends it; returns the exit code.
int RunTerminalDialog(FILE* input, FILE* output);
