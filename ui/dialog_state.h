// The key dialog's controls and command line, and what a key does to them. Pure:
// a key in, the state and an action out; the run loop draws and converts.
#pragma once

#include <cstddef>

#include "ui/key_decoder.h"
#include "ui/selection_line.h"

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

// What a key does to the dialog. A zeroed state is the dialog as it opens.
DialogAction ApplyKey(DialogState* state, const Key& key);
