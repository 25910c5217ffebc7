// ApplySelectionLine: codes in any case and order, checked whole before the
// selection changes.
#include "ui/selection_line.h"

#include <cstring>

#include "ui/selection_tables.h"

namespace {

const char kEscape = '\x1b';

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

}  // namespace

bool IsCodeSeparator(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void CopyPrintable(const char* text, size_t length, char* out, size_t size) {
  if (length > size - 1) {
    length = size - 1;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    out[i] = c < 0x20 || c == 0x7F ? '?' : text[i];
  }
  out[length] = '\0';
}

DialogAction ApplySelectionLine(const char* line, size_t length, size_t* campaign, size_t* mission,
                                char* unknown, size_t unknown_size) {
  if (memchr(line, kEscape, length)) return kDialogQuit;
  size_t new_campaign = kCampaignCount;
  size_t new_mission = kMissionCount;
  size_t position = 0;
  while (position < length) {
    if (IsCodeSeparator(line[position])) {
      ++position;
      continue;
    }
    const char* token = line + position;
    size_t token_length = 0;
    while (position < length && !IsCodeSeparator(line[position])) ++position, ++token_length;

    if (SameCode(token, token_length, "q")) return kDialogQuit;
    size_t found = FindCode(token, token_length, kCampaignCodes, kCampaignCount);
    if (found < kCampaignCount) {
      if (new_campaign < kCampaignCount) return kDialogTooManyCodes;
      new_campaign = found;
      continue;
    }
    // A player who types "Ru 1" means Ru 01.
    char two_digits[3] = {'0', token[0], '\0'};
    bool one_digit = token_length == 1 && token[0] >= '1' && token[0] <= '9';
    found = one_digit ? FindCode(two_digits, 2, kMissionCodes, kMissionCount)
                      : FindCode(token, token_length, kMissionCodes, kMissionCount);
    if (found < kMissionCount) {
      if (new_mission < kMissionCount) return kDialogTooManyCodes;
      new_mission = found;
      continue;
    }
    CopyPrintable(token, token_length, unknown, unknown_size);
    return kDialogUnknownCode;
  }
  if (new_campaign < kCampaignCount) *campaign = new_campaign;
  if (new_mission < kMissionCount) *mission = new_mission;
  return kDialogConvert;
}
