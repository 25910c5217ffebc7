// The dialog's words on the screen, and the two loops that run it: keys on a
// terminal, lines from anything else. What a key or a line does is decided apart.
#include "ui/terminal_dialog.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "convert/convert.h"
#include "platform/error_message.h"
#include "ui/selection_tables.h"
#include "ui/terminal.h"

namespace {

const char kTitle[] = "Převod misí do Korvidane";
const char kLabel[] = "Zvolte misi pro převod:";
const char kConvert[] = "Proveď převod";
const size_t kLineSize = 256;

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

// What the dialog says about a command, as a line, the same after a key or a line;
// empty when it says nothing.
// For kDialogConvert, called once the conversion worked: a failed one has only its
// "Chyba: ..." line, so that a reader of the output can tell the two apart.
void FormatReport(DialogAction action, const DialogState& state, char* out, size_t size) {
  out[0] = '\0';
  if (action == kDialogConvert) {
    snprintf(out, size, "Převedeno: %s %s (%s spuštěn)\n", kCampaignCodes[state.campaign],
             kMissionCodes[state.mission], kUpdaterProgram);
  } else if (action == kDialogTooManyCodes) {
    snprintf(out, size, "%s", kTooManyCodes);
  } else if (action == kDialogUnknownCode) {
    char campaigns[64], missions[128];
    FormatCodes(campaigns, sizeof campaigns, kCampaignCodes, kCampaignCount);
    FormatCodes(missions, sizeof missions, kMissionCodes, kMissionCount);
    // The missions on a line of their own: at 80 columns the list is not cut.
    snprintf(out, size, "Neznámý kód „%s“. Kampaně:%s.\nMise:%s.\n", state.unknown, campaigns,
             missions);
  }
}

// The conversion's messages break between words too where they go to a terminal;
// into a file or a pipe each stays one line.
void ShowMessageWrapped(const char* text) {
  if (!isatty(STDERR_FILENO)) {
    ShowMessageBox(text);
    return;
  }
  char line[kLineSize * 2], wrapped[1024];
  snprintf(line, sizeof line, "Chyba: %s", text);
  fwrite(wrapped, 1, WrapLines(line, wrapped, sizeof wrapped), stderr);
  fflush(stderr);
}

int RunKeyDialog() {
  RedirectErrorMessages(ShowMessageWrapped);
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
    // Reports and the conversion's messages go where the dialog was; it follows them.
    bool converted = false;
    if (action == kDialogConvert) {
      EraseFrame();
      converted = ConvertMission(kCampaignCodes[state.campaign], kMissionCodes[state.mission]);
      // Stopped and continued, or resized, meanwhile: drawn once, as after the event.
      bool clear_screen = false;
      if (TakeRedrawRequest(&clear_screen)) ForgetFrame(clear_screen);
    }
    char report[512] = "";
    if (action != kDialogConvert || converted) FormatReport(action, state, report, sizeof report);
    if (report[0]) {
      if (action != kDialogConvert) EraseFrame();
      char wrapped[1024];
      WriteToTerminal(wrapped, WrapLines(report, wrapped, sizeof wrapped));
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
  RedirectErrorMessages(nullptr);
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

    DialogAction action = ApplySelectionLine(line, length, &state.campaign, &state.mission,
                                             state.unknown, sizeof state.unknown);
    if (action == kDialogQuit) return 0;
    bool converted = action == kDialogConvert &&
                     ConvertMission(kCampaignCodes[state.campaign], kMissionCodes[state.mission]);
    char report[512] = "";
    if (action != kDialogConvert || converted) FormatReport(action, state, report, sizeof report);
    fputs(report, output);
    fflush(output);
  }
  fputc('\n', output);
  return 0;
}

}  // namespace

int RunTerminalDialog(FILE* input, FILE* output) {
  // A reader that went away, or a log at its size limit, must not end the work:
  // the conversions still count.
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);
  // Nothing here waits for a child: the system reaps each updater as it ends, so
  // that none stays a zombie while the dialog is open. (A waitpid before each
  // start would keep the last one until the next.) The flag ends at the updater's
  // exec, and SIGCHLD is not ignored, which the updater would inherit.
  struct sigaction reap = ignore;
  reap.sa_handler = SIG_DFL;
  reap.sa_flags = SA_NOCLDWAIT;
  sigaction(SIGCHLD, &reap, nullptr);

  fflush(output);
  if (TakeOverTerminal(fileno(input), fileno(output))) return RunKeyDialog();
  return RunLineDialog(input, output);
}
