// The line parser: which lines select, which end, and which are refused whole.
#include "ui/selection_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/selection_tables.h"

namespace {

struct Selection {
  size_t campaign = 0;
  size_t mission = 0;
  char unknown[16] = "";

  DialogAction Apply(const std::string& line) {
    return ApplySelectionLine(line.data(), line.size(), &campaign, &mission, unknown,
                              sizeof unknown);
  }
  std::string Codes() const {
    return std::string(kCampaignCodes[campaign]) + " " + kMissionCodes[mission];
  }
};

TEST(SelectionLineTest, CodesSelectInAnyOrderAndCase) {
  Selection selection;
  EXPECT_EQ(kDialogConvert, selection.Apply("Ru 12a"));
  EXPECT_EQ("Ru 12a", selection.Codes());
  EXPECT_EQ(kDialogConvert, selection.Apply("\t15A  am\r"));
  EXPECT_EQ("Am 15a", selection.Codes());
  EXPECT_EQ(kDialogConvert, selection.Apply("ru"));  // the mission stays
  EXPECT_EQ("Ru 15a", selection.Codes());
  EXPECT_EQ(kDialogConvert, selection.Apply("01"));
  EXPECT_EQ("Ru 01", selection.Codes());
  EXPECT_EQ(kDialogConvert, selection.Apply("am 9"));  // one digit: 01 to 09
  EXPECT_EQ("Am 09", selection.Codes());
  EXPECT_EQ(kDialogConvert, selection.Apply("1 Ru"));
  EXPECT_EQ("Ru 01", selection.Codes());
  EXPECT_EQ(kDialogConvert, selection.Apply(""));  // converts the selection again
  EXPECT_EQ(kDialogConvert, selection.Apply("   "));
  EXPECT_EQ("Ru 01", selection.Codes());
}

TEST(SelectionLineTest, EveryTableCodeIsAccepted) {
  Selection selection;
  for (size_t i = 0; i < kMissionCount; ++i) {
    EXPECT_EQ(kDialogConvert, selection.Apply(kMissionCodes[i]));
    EXPECT_EQ(i, selection.mission);
  }
  EXPECT_EQ("15a", std::string(kMissionCodes[18]));
  EXPECT_EQ("12a", std::string(kMissionCodes[15]));
}

TEST(SelectionLineTest, BadLinesKeepTheSelection) {
  Selection selection;
  selection.Apply("Ru 13a");
  EXPECT_EQ(kDialogUnknownCode, selection.Apply("Am 0"));
  EXPECT_STREQ("0", selection.unknown);
  EXPECT_EQ(kDialogUnknownCode, selection.Apply("Am 1a"));
  EXPECT_EQ(kDialogUnknownCode, selection.Apply("Am 16"));
  EXPECT_EQ(kDialogUnknownCode, selection.Apply("Am01"));
  EXPECT_EQ(kDialogTooManyCodes, selection.Apply("Am Ru"));
  EXPECT_EQ(kDialogTooManyCodes, selection.Apply("01 02"));
  EXPECT_EQ("Ru 13a", selection.Codes());
}

TEST(SelectionLineTest, UnknownCodeIsShownPrintableAndShort) {
  Selection selection;
  EXPECT_EQ(kDialogUnknownCode, selection.Apply(std::string("a\0b\x07", 4)));
  EXPECT_STREQ("a?b?", selection.unknown);
  EXPECT_EQ(kDialogUnknownCode, selection.Apply(std::string(5000, 'x')));
  EXPECT_EQ(15u, strlen(selection.unknown));
  // Cut before a letter, never inside it.
  EXPECT_EQ(kDialogUnknownCode, selection.Apply("abcdefghijklmn\xC5\x99"));
  EXPECT_STREQ("abcdefghijklmn", selection.unknown);
}

TEST(SelectionLineTest, QAndEscEnd) {
  Selection selection;
  EXPECT_EQ(kDialogQuit, selection.Apply("q"));
  EXPECT_EQ(kDialogQuit, selection.Apply(" Q "));
  EXPECT_EQ(kDialogQuit, selection.Apply("\x1b"));
  EXPECT_EQ(kDialogQuit, selection.Apply("Ru 12a\x1b"));
  EXPECT_EQ("Am 01", selection.Codes());
}

}  // namespace
