// The conversion dialog in a terminal, for systems without the Windows dialog
// manager: the same texts, lists and commands. On a terminal it is driven with
// keys as the Windows dialog is; otherwise by lines of codes.
#pragma once

#include <cstddef>
#include <cstdio>

#include "ui/key_decoder.h"
#include "ui/terminal_frame.h"

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

// The controls in tab order; the button has the focus first, as on Windows.
enum DialogFocus { kFocusButton, kFocusCampaign, kFocusMission };

// Room for codes typed in the dialog; a full line refuses more.
constexpr size_t kCommandSize = 64;

struct DialogState {
  DialogFocus focus;
  size_t campaign;  // indexes into the selection tables
  size_t mission;
  char command[kCommandSize];  // the command line, not terminated
  size_t command_length;
  size_t cursor;     // offset in command
  char unknown[32];  // after kDialogUnknownCode: the code that was not known
};

enum DialogAction {
  kDialogNothing,  // only the state may have changed
  kDialogBell,     // the key cannot be taken
  kDialogConvert,  // convert the selection
  kDialogQuit,
  kDialogUnknownCode,
  kDialogTooManyCodes,
};

// What a key does to the dialog. A zeroed state is the dialog as it opens.
DialogAction ApplyKey(DialogState* state, const Key& key);

// The dialog as rows of text, the focused control in reverse video.
void FormatDialog(const DialogState& state, Frame* frame);

// Shows the dialog and converts until the user ends it; returns the exit code.
int RunTerminalDialog(FILE* input, FILE* output);
