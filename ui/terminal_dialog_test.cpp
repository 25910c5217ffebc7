// The terminal dialog without a terminal: how lines and keys change it.
#include "ui/terminal_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/selection_tables.h"

namespace {

struct Selection {
  size_t campaign = 0;
  size_t mission = 0;
  char unknown[16] = "";

  LineAction Apply(const std::string& line) {
    return ApplySelectionLine(line.data(), line.size(), &campaign, &mission, unknown,
                              sizeof unknown);
  }
  std::string Codes() const {
    return std::string(kCampaignCodes[campaign]) + " " + kMissionCodes[mission];
  }
};

TEST(SelectionLineTest, CodesSelectInAnyOrderAndCase) {
  Selection selection;
  EXPECT_EQ(kLineConvert, selection.Apply("Ru 12a"));
  EXPECT_EQ("Ru 12a", selection.Codes());
  EXPECT_EQ(kLineConvert, selection.Apply("\t15A  am\r"));
  EXPECT_EQ("Am 15a", selection.Codes());
  EXPECT_EQ(kLineConvert, selection.Apply("ru"));  // the mission stays
  EXPECT_EQ("Ru 15a", selection.Codes());
  EXPECT_EQ(kLineConvert, selection.Apply("01"));
  EXPECT_EQ("Ru 01", selection.Codes());
  EXPECT_EQ(kLineConvert, selection.Apply(""));  // converts the selection again
  EXPECT_EQ(kLineConvert, selection.Apply("   "));
  EXPECT_EQ("Ru 01", selection.Codes());
}

TEST(SelectionLineTest, EveryTableCodeIsAccepted) {
  Selection selection;
  for (size_t i = 0; i < kMissionCount; ++i) {
    EXPECT_EQ(kLineConvert, selection.Apply(kMissionCodes[i]));
    EXPECT_EQ(i, selection.mission);
  }
  EXPECT_EQ("15a", std::string(kMissionCodes[18]));
  EXPECT_EQ("12a", std::string(kMissionCodes[15]));
}

TEST(SelectionLineTest, BadLinesKeepTheSelection) {
  Selection selection;
  selection.Apply("Ru 13a");
  EXPECT_EQ(kLineUnknownCode, selection.Apply("Am 1"));
  EXPECT_STREQ("1", selection.unknown);
  EXPECT_EQ(kLineUnknownCode, selection.Apply("Am 16"));
  EXPECT_EQ(kLineUnknownCode, selection.Apply("Am01"));
  EXPECT_EQ(kLineTooManyCodes, selection.Apply("Am Ru"));
  EXPECT_EQ(kLineTooManyCodes, selection.Apply("01 02"));
  EXPECT_EQ("Ru 13a", selection.Codes());
}

TEST(SelectionLineTest, UnknownCodeIsShownPrintableAndShort) {
  Selection selection;
  EXPECT_EQ(kLineUnknownCode, selection.Apply(std::string("a\0b\x07", 4)));
  EXPECT_STREQ("a?b?", selection.unknown);
  EXPECT_EQ(kLineUnknownCode, selection.Apply(std::string(5000, 'x')));
  EXPECT_EQ(15u, strlen(selection.unknown));
  // Cut before a letter, never inside it.
  EXPECT_EQ(kLineUnknownCode, selection.Apply("abcdefghijklmn\xC5\x99"));
  EXPECT_STREQ("abcdefghijklmn", selection.unknown);
}

TEST(SelectionLineTest, QAndEscEnd) {
  Selection selection;
  EXPECT_EQ(kLineQuit, selection.Apply("q"));
  EXPECT_EQ(kLineQuit, selection.Apply(" Q "));
  EXPECT_EQ(kLineQuit, selection.Apply("\x1b"));
  EXPECT_EQ(kLineQuit, selection.Apply("Ru 12a\x1b"));
  EXPECT_EQ("Am 01", selection.Codes());
}

// How the bytes a terminal sends become keys.
TEST(KeyDecoderTest, BytesMakeKeys) {
  struct Case {
    const char* bytes;
    bool input_paused;
    size_t used;
    KeyName name;
    const char* text;
  } cases[] = {
      {"a", false, 1, kKeyText, "a"},
      {"ab", false, 1, kKeyText, "a"},
      {"\r", false, 1, kKeyEnter, ""},
      {"\n", false, 1, kKeyEnter, ""},
      {"\t", false, 1, kKeyTab, ""},
      {"\x7f", false, 1, kKeyBackspace, ""},
      {"\b", false, 1, kKeyBackspace, ""},
      {"\x04", false, 1, kKeyCtrlD, ""},
      {"\x15", false, 1, kKeyCtrlU, ""},
      {"\x17", false, 1, kKeyCtrlW, ""},
      {"\x01", false, 1, kKeyIgnored, ""},
      // Esc waits for what may follow, then is an Esc on its own.
      {"\x1b", false, 0, kKeyIgnored, ""},
      {"\x1b", true, 1, kKeyEscape, ""},
      {"\x1b[", false, 0, kKeyIgnored, ""},
      {"\x1b[", true, 1, kKeyEscape, ""},
      {"\x1b[1", false, 0, kKeyIgnored, ""},
      {"\x1bO", false, 0, kKeyIgnored, ""},
      // Bytes after Esc that make no key leave it an Esc, and are not swallowed.
      {"\x1bq", false, 1, kKeyEscape, ""},
      {"\x1b\x1b[A", false, 1, kKeyEscape, ""},
      {"\x1b[\x01", false, 1, kKeyEscape, ""},
      {"\x1b[11111111111111111111A", false, 1, kKeyEscape, ""},
      {"\x1b[A", false, 3, kKeyUp, ""},
      {"\x1b[B", false, 3, kKeyDown, ""},
      {"\x1b[C", false, 3, kKeyRight, ""},
      {"\x1b[D", false, 3, kKeyLeft, ""},
      {"\x1bOA", false, 3, kKeyUp, ""},
      {"\x1bOB", false, 3, kKeyDown, ""},
      {"\x1b[1;5Bx", false, 6, kKeyDown, ""},
      {"\x1b[H", false, 3, kKeyHome, ""},
      {"\x1b[F", false, 3, kKeyEnd, ""},
      {"\x1bOH", false, 3, kKeyHome, ""},
      {"\x1b[1~", false, 4, kKeyHome, ""},
      {"\x1b[7~", false, 4, kKeyHome, ""},
      {"\x1b[4~", false, 4, kKeyEnd, ""},
      {"\x1b[8~", false, 4, kKeyEnd, ""},
      {"\x1b[3~", false, 4, kKeyDelete, ""},
      {"\x1b[Z", false, 3, kKeyBackTab, ""},
      // Keys the dialog does not use are passed over whole.
      {"\x1b[2~", false, 4, kKeyIgnored, ""},
      {"\x1b[15~q", false, 5, kKeyIgnored, ""},
      {"\x1bOP", false, 3, kKeyIgnored, ""},
      // UTF-8 letters come whole; broken ones and C1 controls are dropped.
      {"\xc5\x99", false, 2, kKeyText, "\xc5\x99"},
      {"\xe2\x82\xac", false, 3, kKeyText, "\xe2\x82\xac"},
      {"\xc5", false, 0, kKeyIgnored, ""},
      {"\xe2\x82", false, 0, kKeyIgnored, ""},
      {"\xc5", true, 1, kKeyIgnored, ""},
      {"\305a", false, 1, kKeyIgnored, ""},
      {"\x80", false, 1, kKeyIgnored, ""},
      {"\xc2\x9b", false, 2, kKeyIgnored, ""},
  };
  for (const Case& c : cases) {
    Key key;
    size_t used = DecodeKey(c.bytes, strlen(c.bytes), c.input_paused, &key);
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    EXPECT_EQ(c.used, used);
    if (used == 0) continue;
    EXPECT_EQ(c.name, key.name);
    EXPECT_STREQ(c.text, key.text);
  }
}

// Feeds bytes to the dialog key by key; the action of the last key is returned.
DialogAction Press(DialogState* state, const std::string& bytes) {
  DialogAction action = kDialogNothing;
  size_t at = 0;
  while (at < bytes.size()) {
    Key key;
    size_t used = DecodeKey(bytes.data() + at, bytes.size() - at, true, &key);
    at += used;
    action = ApplyKey(state, key);
  }
  return action;
}

TEST(DialogKeysTest, KeysChangeTheDialogAsOnWindows) {
  const std::string full(kCommandSize, 'x');
  struct Case {
    std::string keys;
    DialogAction action;
    const char* campaign;
    const char* mission;
    DialogFocus focus;
    std::string command;
    size_t cursor;
  } cases[] = {
      {"", kDialogNothing, "Am", "01", kFocusButton, "", 0},
      {"\r", kDialogConvert, "Am", "01", kFocusButton, "", 0},
      // Tab order: button, campaign, mission, button.
      {"\t", kDialogNothing, "Am", "01", kFocusCampaign, "", 0},
      {"\t\t", kDialogNothing, "Am", "01", kFocusMission, "", 0},
      {"\t\t\t", kDialogNothing, "Am", "01", kFocusButton, "", 0},
      {"\x1b[Z", kDialogNothing, "Am", "01", kFocusMission, "", 0},
      {"\t\x1b[Z", kDialogNothing, "Am", "01", kFocusButton, "", 0},
      // Lists move one item and stop at their ends; the button has none.
      {"\x1b[B", kDialogNothing, "Am", "01", kFocusButton, "", 0},
      {"\t\x1b[B\r", kDialogConvert, "Ru", "01", kFocusCampaign, "", 0},
      {"\t\x1b[B\x1b[B", kDialogNothing, "Ru", "01", kFocusCampaign, "", 0},
      {"\t\x1b[A", kDialogNothing, "Am", "01", kFocusCampaign, "", 0},
      {"\t\t\x1b[F", kDialogNothing, "Am", "15a", kFocusMission, "", 0},
      {"\t\t\x1b[F\x1b[A\x1b[A\x1b[A", kDialogNothing, "Am", "12a", kFocusMission, "", 0},
      {"\t\t\x1b[F\x1b[H", kDialogNothing, "Am", "01", kFocusMission, "", 0},
      {"\t\t\x1b[B\x1b[B\x1b[A", kDialogNothing, "Am", "02", kFocusMission, "", 0},
      // Ways out.
      {"\x1b", kDialogQuit, "Am", "01", kFocusButton, "", 0},
      {"\x04", kDialogQuit, "Am", "01", kFocusButton, "", 0},
      {"q\r", kDialogQuit, "Am", "01", kFocusButton, "", 0},
      // Typed codes, wherever the focus is; the command line empties.
      {"Ru 12a\r", kDialogConvert, "Ru", "12a", kFocusButton, "", 0},
      {"\t\t15\r", kDialogConvert, "Am", "15", kFocusMission, "", 0},
      {"Ru 16\r", kDialogUnknownCode, "Am", "01", kFocusButton, "", 0},
      {"Am Ru\r", kDialogTooManyCodes, "Am", "01", kFocusButton, "", 0},
      // Editing the command line; Home and End edit it while it holds text.
      {"am 02\x1b[D\x1b[D\x1b[D\x7fx", kDialogNothing, "Am", "01", kFocusButton, "ax 02", 2},
      {"\t\tabc\x1b[H\x1b[3~", kDialogNothing, "Am", "01", kFocusMission, "bc", 0},
      {"\t\tab\x1b[H\x1b[F", kDialogNothing, "Am", "01", kFocusMission, "ab", 2},
      {"abc\x1b[D\x15", kDialogNothing, "Am", "01", kFocusButton, "c", 0},
      {"ab  cd\x17", kDialogNothing, "Am", "01", kFocusButton, "ab  ", 4},
      {"ab  \x17", kDialogNothing, "Am", "01", kFocusButton, "", 0},
      {"ab\x1b[D\x04", kDialogNothing, "Am", "01", kFocusButton, "a", 1},
      {"\x1b[D\x1b[C\x7f\x1b[3~", kDialogNothing, "Am", "01", kFocusButton, "", 0},
      {"\tx\x1b[B", kDialogNothing, "Ru", "01", kFocusCampaign, "x", 1},
      // Codes are ASCII: another letter is refused with a bell, as its width is unsure.
      {"a\305\231", kDialogBell, "Am", "01", kFocusButton, "a", 1},
      {"\305\231a\x1b[D\x1b[D", kDialogNothing, "Am", "01", kFocusButton, "a", 0},
      // A full command line refuses more with a bell.
      {full, kDialogNothing, "Am", "01", kFocusButton, full, kCommandSize},
      {full + "y", kDialogBell, "Am", "01", kFocusButton, full, kCommandSize},
      {full.substr(1) + "yz", kDialogBell, "Am", "01", kFocusButton, full.substr(1) + "y",
       kCommandSize},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.keys));
    DialogState state = {};
    EXPECT_EQ(c.action, Press(&state, c.keys));
    EXPECT_STREQ(c.campaign, kCampaignCodes[state.campaign]);
    EXPECT_STREQ(c.mission, kMissionCodes[state.mission]);
    EXPECT_EQ(c.focus, state.focus);
    EXPECT_EQ(c.command, std::string(state.command, state.command_length));
    EXPECT_EQ(c.cursor, state.cursor);
  }
}

TEST(DialogFrameTest, FitsEightyColumnsAndHighlightsTheFocus) {
  struct Case {
    DialogFocus focus;
    const char* highlighted;
  } cases[] = {
      {kFocusButton, "\x1b[7m[ Proveď převod ]\x1b[m"},
      {kFocusCampaign, "\x1b[7m[Ru ▾]\x1b[m"},
      {kFocusMission, "\x1b[7m[15a ▾]\x1b[m"},
  };
  const char* styled = "a\x1b[7m\xc5\x99\x1b[mb";
  EXPECT_EQ(3u, DisplayWidth(styled, strlen(styled)));
  for (const Case& c : cases) {
    DialogState state = {};
    state.focus = c.focus;
    Press(&state, "Ru 15a\r" + std::string(kCommandSize, 'x'));
    Frame frame;
    FormatDialog(state, &frame);
    const std::string controls = frame.rows[2];
    EXPECT_NE(std::string::npos, controls.find(c.highlighted)) << controls;
    EXPECT_EQ(controls.find("\x1b[7m"), controls.rfind("\x1b[7m")) << controls;
    for (int i = 0; i < frame.row_count; ++i) {
      EXPECT_LT(DisplayWidth(frame.rows[i], strlen(frame.rows[i])), 80u) << frame.rows[i];
    }
    const char* last = frame.rows[frame.row_count - 1];
    EXPECT_EQ(strlen(last), frame.cursor_offset);
  }
}

}  // namespace
