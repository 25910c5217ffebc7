// ApplyKey: focus, lists and command-line editing, each key as the Windows dialog
// takes it; Enter hands the command line to the line parser.
#include "ui/dialog_state.h"

#include <cstring>

#include "ui/selection_tables.h"

namespace {

// The command line holds ASCII only, a byte a letter.
size_t PreviousLetter(size_t offset) { return offset > 0 ? offset - 1 : 0; }

size_t NextLetter(const DialogState& state, size_t offset) {
  return offset < state.command_length ? offset + 1 : state.command_length;
}

// Removes command[from, to) and leaves the cursor at from.
void EraseCommand(DialogState* state, size_t from, size_t to) {
  memmove(state->command + from, state->command + to, state->command_length - to);
  state->command_length -= to - from;
  state->cursor = from;
}

// Every code is ASCII; another letter would only make the line's width uncertain.
bool InsertLetter(DialogState* state, const char* letter) {
  if (static_cast<unsigned char>(letter[0]) >= 0x80 || letter[1] != '\0') return false;
  if (state->command_length == kCommandSize) return false;
  char* at = state->command + state->cursor;
  memmove(at + 1, at, state->command_length - state->cursor);
  *at = letter[0];
  ++state->command_length;
  ++state->cursor;
  return true;
}

// The blanks before the cursor, then the word before them.
void EraseWord(DialogState* state) {
  size_t from = state->cursor;
  while (from > 0 && IsCodeSeparator(state->command[from - 1])) --from;
  while (from > 0 && !IsCodeSeparator(state->command[from - 1])) from = PreviousLetter(from);
  EraseCommand(state, from, state->cursor);
}

// Up and Down stop at the ends of a list, as in a drop-down list.
void MoveInList(DialogState* state, bool down, bool to_end) {
  if (state->focus == kFocusButton) return;
  size_t* index = state->focus == kFocusCampaign ? &state->campaign : &state->mission;
  size_t count = state->focus == kFocusCampaign ? kCampaignCount : kMissionCount;
  if (to_end) {
    *index = down ? count - 1 : 0;
  } else if (down) {
    if (*index + 1 < count) ++*index;
  } else {
    if (*index > 0) --*index;
  }
}

DialogAction SubmitCommand(DialogState* state) {
  if (state->command_length == 0) return kDialogConvert;
  DialogAction action = ApplySelectionLine(state->command, state->command_length, &state->campaign,
                                           &state->mission, state->unknown, sizeof state->unknown);
  state->command_length = 0;
  state->cursor = 0;
  return action;
}

}  // namespace

DialogAction ApplyKey(DialogState* state, const Key& key) {
  bool editing = state->command_length > 0;
  switch (key.name) {
    case kKeyEscape:
      return kDialogQuit;
    case kKeyEnter:
      return SubmitCommand(state);
    case kKeyTab:
      state->focus = static_cast<DialogFocus>((state->focus + 1) % 3);
      break;
    case kKeyBackTab:
      state->focus = static_cast<DialogFocus>((state->focus + 2) % 3);
      break;
    case kKeyUp:
    case kKeyDown:
      MoveInList(state, key.name == kKeyDown, false);
      break;
    case kKeyHome:
    case kKeyEnd:
      if (editing) {
        state->cursor = key.name == kKeyHome ? 0 : state->command_length;
      } else {
        MoveInList(state, key.name == kKeyEnd, true);
      }
      break;
    case kKeyLeft:
      state->cursor = PreviousLetter(state->cursor);
      break;
    case kKeyRight:
      state->cursor = NextLetter(*state, state->cursor);
      break;
    case kKeyBackspace:
      EraseCommand(state, PreviousLetter(state->cursor), state->cursor);
      break;
    case kKeyCtrlD:
      if (!editing) return kDialogQuit;
      EraseCommand(state, state->cursor, NextLetter(*state, state->cursor));
      break;
    case kKeyDelete:
      EraseCommand(state, state->cursor, NextLetter(*state, state->cursor));
      break;
    case kKeyCtrlU:
      EraseCommand(state, 0, state->cursor);
      break;
    case kKeyCtrlW:
      EraseWord(state);
      break;
    case kKeyText:
      if (!InsertLetter(state, key.text)) return kDialogBell;
      break;
    case kKeyIgnored:
      break;
  }
  return kDialogNothing;
}
