// The terminal dialog. On a terminal the line is edited here, key by key, so that
// Esc ends the program at once as it closes the Windows dialog; from a pipe the
// input is read line by line.
#include "ui/terminal_dialog.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "convert/convert.h"
#include "ui/selection_tables.h"

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

// The terminal's settings before we took over, put back however the program ends.
struct termios saved_terminal;
bool terminal_changed = false;

void RestoreTerminal() {
  if (terminal_changed) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
}

void TakeOverTerminal() {
  struct termios keys = saved_terminal;
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  terminal_changed = tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
}

void OnTerminatingSignal(int signal_number) {
  RestoreTerminal();
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// Ctrl-Z hands the terminal back as it was; fg takes it over again.
void OnStop(int) {
  RestoreTerminal();
  signal(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // it is blocked while we handle it
  raise(SIGTSTP);                             // stopped here until fg
  signal(SIGTSTP, OnStop);
  if (terminal_changed) TakeOverTerminal();
}

// A signal the caller told us to ignore stays ignored.
void CatchSignal(int signal_number, void (*handler)(int)) {
  if (signal(signal_number, handler) == SIG_IGN) signal(signal_number, SIG_IGN);
}

bool ReadKey(char* key) {
  for (;;) {
    ssize_t got = read(STDIN_FILENO, key, 1);
    if (got == 1) return true;
    if (got == 0 || errno != EINTR) return false;
  }
}

bool KeyFollowsSoon() {
  struct pollfd input = {STDIN_FILENO, POLLIN, 0};
  return poll(&input, 1, 50) > 0;
}

// Arrow and function keys arrive as Esc followed at once by more bytes: swallow
// them, so that only Esc on its own ends the program.
void SkipEscapeSequence() {
  char key;
  if (!ReadKey(&key) || (key != '[' && key != 'O')) return;
  for (int i = 0; i < 16 && ReadKey(&key); ++i) {
    if (key >= 0x40 && key <= 0x7E) return;
  }
}

void EraseLastLetter(char* line, size_t* length, FILE* output) {
  if (*length == 0) return;
  do {
    --*length;
  } while (*length > 0 && (static_cast<unsigned char>(line[*length]) & 0xC0) == 0x80);
  fputs("\b \b", output);
}

// Edits one line on the terminal. False at the end of input (Ctrl-D on an empty line).
bool EditLine(char* line, size_t* length, FILE* output) {
  *length = 0;
  for (;;) {
    fflush(output);
    char key;
    if (!ReadKey(&key)) return false;
    unsigned char code = static_cast<unsigned char>(key);
    if (key == '\r' || key == '\n') {
      fputc('\n', output);
      return true;
    } else if (key == kEscape) {
      if (KeyFollowsSoon()) {
        SkipEscapeSequence();
        continue;
      }
      line[0] = kEscape;
      *length = 1;
      fputc('\n', output);
      return true;
    } else if (code == 0x04) {  // Ctrl-D
      if (*length == 0) return false;
    } else if (code == 0x7F || code == 0x08) {
      EraseLastLetter(line, length, output);
    } else if (code == 0x15) {  // Ctrl-U
      while (*length > 0) EraseLastLetter(line, length, output);
    } else if (code >= 0x20 && *length < kLineSize - 1) {
      line[(*length)++] = key;
      fputc(key, output);
    }
  }
}

// Reads one line from a pipe or file; the part of a longer line beyond the buffer
// is dropped. False at the end of input with nothing read.
bool ReadLine(FILE* input, char* line, size_t* length) {
  *length = 0;
  int c;
  while ((c = getc(input)) != EOF && c != '\n') {
    if (*length < kLineSize - 1) line[(*length)++] = static_cast<char>(c);
  }
  return c != EOF || *length > 0;
}

void ShowCodes(FILE* output, const char* const* codes, size_t count) {
  for (size_t i = 0; i < count; ++i) fprintf(output, " %s", codes[i]);
}

void ShowDialog(FILE* output) {
  fprintf(output, "%s\n\n%s\n  Kampaň:", kTitle, kLabel);
  ShowCodes(output, kCampaignCodes, kCampaignCount);
  fprintf(output, "\n  Mise:  ");
  ShowCodes(output, kMissionCodes, kMissionCount);
  fprintf(output,
          "\n\nNapište kampaň, misi nebo obojí (třeba „Ru 12a“) a stiskněte Enter: %s.\n"
          "Prázdný řádek převede zvolenou misi znovu. Konec: q, Esc nebo Ctrl+D.\n",
          kConvert);
}

}  // namespace

int RunTerminalDialog(FILE* input, FILE* output) {
  bool terminal =
      input == stdin && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_terminal) == 0;
  if (terminal) {
    TakeOverTerminal();
    atexit(RestoreTerminal);
    CatchSignal(SIGINT, OnTerminatingSignal);
    CatchSignal(SIGTERM, OnTerminatingSignal);
    CatchSignal(SIGHUP, OnTerminatingSignal);
    CatchSignal(SIGQUIT, OnTerminatingSignal);
    CatchSignal(SIGTSTP, OnStop);
  }

  ShowDialog(output);
  size_t campaign = 0;
  size_t mission = 0;
  char line[kLineSize];
  for (;;) {
    fprintf(output, "\nZvoleno: %s %s > ", kCampaignCodes[campaign], kMissionCodes[mission]);
    fflush(output);
    size_t length = 0;
    if (terminal) {
      if (!EditLine(line, &length, output)) break;
    } else {
      if (!ReadLine(input, line, &length)) break;
      // Show what was read, so a scripted run reads like a typed one.
      char shown[kLineSize];
      CopyPrintable(line, length, shown, sizeof shown);
      fprintf(output, "%s\n", shown);
    }

    char unknown[32];
    switch (ApplySelectionLine(line, length, &campaign, &mission, unknown, sizeof unknown)) {
      case kLineQuit:
        RestoreTerminal();
        return 0;
      case kLineConvert:
        fprintf(output, "%s: %s %s\n", kConvert, kCampaignCodes[campaign], kMissionCodes[mission]);
        fflush(output);
        ConvertMission(kCampaignCodes[campaign], kMissionCodes[mission]);
        break;
      case kLineUnknownCode:
        fprintf(output, "Neznámý kód „%s“. Kampaně:", unknown);
        ShowCodes(output, kCampaignCodes, kCampaignCount);
        fprintf(output, ". Mise:");
        ShowCodes(output, kMissionCodes, kMissionCount);
        fprintf(output, ".\n");
        break;
      case kLineTooManyCodes:
        fprintf(output, "Zadejte nejvýš jednu kampaň a jednu misi.\n");
        break;
    }
  }
  fputc('\n', output);
  RestoreTerminal();
  return 0;
}
