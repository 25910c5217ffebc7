// The dialog as it is drawn: its widest state fits a terminal and shows the focus.
#include "ui/terminal_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/selection_tables.h"

namespace {

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
    state.campaign = kCampaignCount - 1;  // Ru and 15a, the widest codes
    state.mission = kMissionCount - 1;
    memset(state.command, 'x', kCommandSize);  // and a full command line
    state.command_length = kCommandSize;
    state.cursor = kCommandSize;
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
