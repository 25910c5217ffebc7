// The key dialog without a terminal: what each key does to its controls.
#include "ui/dialog_state.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/selection_tables.h"

namespace {

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

}  // namespace
