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
