// The terminal dialog: its controls, what a key does to them, and the line
// protocol for input from a pipe.
#include "ui/terminal_dialog.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "convert/convert.h"
#include "ui/selection_tables.h"
#include "ui/terminal.h"

namespace {

const char kTitle[] = "Převod misí do Korvidane";
const char kLabel[] = "Zvolte misi pro převod:";
const char kConvert[] = "Proveď převod";
const char kEscape = '\x1b';
const size_t kLineSize = 256;

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameCode(const char* token, size_t length, const char* code) {
  if (strlen(code) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (AsciiLower(token[i]) != AsciiLower(code[i])) return false;
  }
  return true;
}

// Index of the token in the table, or count when it is not there.
size_t FindCode(const char* token, size_t length, const char* const* codes, size_t count) {
  size_t index = 0;
  while (index < count && !SameCode(token, length, codes[index])) ++index;
  return index;
}

// Copies a token for display: control bytes become "?", and a cut never splits a
// UTF-8 letter.
void CopyPrintable(const char* token, size_t length, char* out, size_t size) {
  if (length > size - 1) {
    length = size - 1;
    while (length > 0 && (static_cast<unsigned char>(token[length]) & 0xC0) == 0x80) --length;
  }
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(token[i]);
    out[i] = c < 0x20 || c == 0x7F ? '?' : token[i];
  }
  out[length] = '\0';
}

}  // namespace

LineAction ApplySelectionLine(const char* line, size_t length, size_t* campaign, size_t* mission,
                              char* unknown, size_t unknown_size) {
  if (memchr(line, kEscape, length)) return kLineQuit;
  size_t new_campaign = kCampaignCount;
  size_t new_mission = kMissionCount;
  size_t position = 0;
  while (position < length) {
    if (IsSeparator(line[position])) {
      ++position;
      continue;
    }
    const char* token = line + position;
    size_t token_length = 0;
    while (position < length && !IsSeparator(line[position])) ++position, ++token_length;

    if (SameCode(token, token_length, "q")) return kLineQuit;
    size_t found = FindCode(token, token_length, kCampaignCodes, kCampaignCount);
    if (found < kCampaignCount) {
      if (new_campaign < kCampaignCount) return kLineTooManyCodes;
      new_campaign = found;
      continue;
    }
    found = FindCode(token, token_length, kMissionCodes, kMissionCount);
    if (found < kMissionCount) {
      if (new_mission < kMissionCount) return kLineTooManyCodes;
      new_mission = found;
      continue;
    }
    CopyPrintable(token, token_length, unknown, unknown_size);
    return kLineUnknownCode;
  }
  if (new_campaign < kCampaignCount) *campaign = new_campaign;
  if (new_mission < kMissionCount) *mission = new_mission;
  return kLineConvert;
}

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
  while (from > 0 && IsSeparator(state->command[from - 1])) --from;
  while (from > 0 && !IsSeparator(state->command[from - 1])) from = PreviousLetter(from);
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

DialogAction DialogActionOf(LineAction action) {
  switch (action) {
    case kLineConvert:
      return kDialogConvert;
    case kLineQuit:
      return kDialogQuit;
    case kLineUnknownCode:
      return kDialogUnknownCode;
    case kLineTooManyCodes:
      break;
  }
  return kDialogTooManyCodes;
}

DialogAction SubmitCommand(DialogState* state) {
  if (state->command_length == 0) return kDialogConvert;
  LineAction action = ApplySelectionLine(state->command, state->command_length, &state->campaign,
                                         &state->mission, state->unknown, sizeof state->unknown);
  state->command_length = 0;
  state->cursor = 0;
  return DialogActionOf(action);
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

namespace {

const char kKeysHelp[] = "Tab přepíná, ↑↓ Home End mění výběr, Enter převede, Esc ukončí.";
const char kNotice[] = "Spustí vozedudo";
const char kCommandPrompt[] = "Napište kódy: ";
const char kReverse[] = "\x1b[7m";
const char kNormal[] = "\x1b[m";

const char* Highlight(const DialogState& state, DialogFocus control) {
  return state.focus == control ? kReverse : "";
}
const char* EndHighlight(const DialogState& state, DialogFocus control) {
  return state.focus == control ? kNormal : "";
}

}  // namespace

void FormatDialog(const DialogState& state, Frame* frame) {
  const int kControls = 2, kKeys = 4, kNoticeRow = 5, kCommand = 6;
  for (int i = 0; i < kFrameRows; ++i) frame->rows[i][0] = '\0';
  snprintf(frame->rows[0], kFrameRowSize, "%s", kTitle);
  snprintf(frame->rows[kControls], kFrameRowSize, "%s  %s[%-2s ▾]%s  %s[%-3s ▾]%s   %s[ %s ]%s",
           kLabel, Highlight(state, kFocusCampaign), kCampaignCodes[state.campaign],
           EndHighlight(state, kFocusCampaign), Highlight(state, kFocusMission),
           kMissionCodes[state.mission], EndHighlight(state, kFocusMission),
           Highlight(state, kFocusButton), kConvert, EndHighlight(state, kFocusButton));
  snprintf(frame->rows[kKeys], kFrameRowSize, "%s", kKeysHelp);
  snprintf(frame->rows[kNoticeRow], kFrameRowSize, "%s", kNotice);
  snprintf(frame->rows[kCommand], kFrameRowSize, "%s%.*s", kCommandPrompt,
           static_cast<int>(state.command_length), state.command);
  frame->row_count = kCommand + 1;
  frame->cursor_offset = strlen(kCommandPrompt) + state.cursor;
}

namespace {

const char kTooManyCodes[] = "Zadejte nejvýš jednu kampaň a jednu misi.\n";

// Appends the codes of a table, each after a blank.
size_t FormatCodes(char* out, size_t size, const char* const* codes, size_t count) {
  size_t length = 0;
  for (size_t i = 0; i < count && length < size; ++i) {
    int written = snprintf(out + length, size - length, " %s", codes[i]);
    if (written < 0) break;
    length += static_cast<size_t>(written);
  }
  return length < size ? length : size - 1;
}

// What the dialog says about a command, as a line; empty when it says nothing.
void FormatReport(DialogAction action, const DialogState& state, char* out, size_t size) {
  out[0] = '\0';
  if (action == kDialogConvert) {
    snprintf(out, size, "%s: %s %s\n", kConvert, kCampaignCodes[state.campaign],
             kMissionCodes[state.mission]);
  } else if (action == kDialogTooManyCodes) {
    snprintf(out, size, "%s", kTooManyCodes);
  } else if (action == kDialogUnknownCode) {
    char campaigns[64], missions[128];
    FormatCodes(campaigns, sizeof campaigns, kCampaignCodes, kCampaignCount);
    FormatCodes(missions, sizeof missions, kMissionCodes, kMissionCount);
    snprintf(out, size, "Neznámý kód „%s“. Kampaně:%s. Mise:%s.\n", state.unknown, campaigns,
             missions);
  }
}

int RunKeyDialog() {
  DialogState state = {};
  Frame frame;
  FormatDialog(state, &frame);
  DrawFrame(&frame);
  for (;;) {
    Key key;
    TerminalEvent event = ReadTerminalKey(&key);
    if (event == kTerminalEnd) break;
    if (event != kTerminalKey) {
      // After a resize the old rows may have been rewrapped: start on a clear screen.
      ForgetFrame(event == kTerminalResized);
      DrawFrame(&frame);
      continue;
    }
    DialogAction action = ApplyKey(&state, key);
    if (action == kDialogQuit) break;
    if (action == kDialogBell) RingBell();
    char report[512];
    FormatReport(action, state, report, sizeof report);
    if (report[0]) {
      // Reports and the conversion's messages go where the dialog was; it follows them.
      EraseFrame();
      WriteToTerminal(report, strlen(report));
    }
    if (action == kDialogConvert) {
      ConvertMission(kCampaignCodes[state.campaign], kMissionCodes[state.mission]);
      // Stopped and continued, or resized, meanwhile: drawn once, as after the event.
      bool clear_screen = false;
      if (TakeRedrawRequest(&clear_screen)) ForgetFrame(clear_screen);
    }
    FormatDialog(state, &frame);
    DrawFrame(&frame);
  }
  // The dialog stays on the screen; the shell goes on below its last row.
  state.cursor = state.command_length;
  FormatDialog(state, &frame);
  DrawFrame(&frame);
  WriteToTerminal("\r\n", 2);
  RestoreTerminal();
  return 0;
}

enum LineRead { kLineRead, kLineTooLong, kLineEnd };

// Reads one line from a pipe, a file or a terminal in its own line mode. A line
// that does not fit is read to its end and refused whole: a cut one could name
// another mission.
LineRead ReadLine(FILE* input, char* line, size_t* length) {
  *length = 0;
  bool too_long = false;
  int c;
  while ((c = getc(input)) != EOF && c != '\n') {
    if (*length < kLineSize - 1) {
      line[(*length)++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
  if (c == EOF && *length == 0) return kLineEnd;
  return too_long ? kLineTooLong : kLineRead;
}

void ShowLineDialog(FILE* output) {
  char campaigns[64], missions[128];
  FormatCodes(campaigns, sizeof campaigns, kCampaignCodes, kCampaignCount);
  FormatCodes(missions, sizeof missions, kMissionCodes, kMissionCount);
  fprintf(output, "%s\n\n%s\n  Kampaň:%s\n  Mise:  %s", kTitle, kLabel, campaigns, missions);
  fprintf(output,
          "\n\nNapište kampaň, misi nebo obojí (třeba „Ru 12a“) a stiskněte Enter: %s.\n"
          "Prázdný řádek převede zvolenou misi znovu. Konec: q, Esc nebo Ctrl+D.\n",
          kConvert);
}

int RunLineDialog(FILE* input, FILE* output) {
  ShowLineDialog(output);
  DialogState state = {};
  char line[kLineSize];
  for (;;) {
    fprintf(output, "\nZvoleno: %s %s > ", kCampaignCodes[state.campaign],
            kMissionCodes[state.mission]);
    fflush(output);
    size_t length = 0;
    LineRead read = ReadLine(input, line, &length);
    if (read == kLineEnd) break;
    // Show what was read, so a scripted run reads like a typed one.
    char shown[kLineSize];
    CopyPrintable(line, length, shown, sizeof shown);
    fprintf(output, "%s%s\n", shown, read == kLineTooLong ? "…" : "");
    if (read == kLineTooLong) {
      fprintf(output, "Řádek je delší než %zu bajtů: nic se nepřevádí.\n", kLineSize - 1);
      continue;
    }

    LineAction action = ApplySelectionLine(line, length, &state.campaign, &state.mission,
                                           state.unknown, sizeof state.unknown);
    if (action == kLineQuit) return 0;
    char report[512];
    FormatReport(DialogActionOf(action), state, report, sizeof report);
    fputs(report, output);
    fflush(output);
    if (action == kLineConvert) {
      ConvertMission(kCampaignCodes[state.campaign], kMissionCodes[state.mission]);
    }
  }
  fputc('\n', output);
  return 0;
}

}  // namespace

int RunTerminalDialog(FILE* input, FILE* output) {
  // A reader that went away must not end the work: the conversions still count.
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);

  fflush(output);
  if (TakeOverTerminal(fileno(input), fileno(output))) return RunKeyDialog();
  return RunLineDialog(input, output);
}
