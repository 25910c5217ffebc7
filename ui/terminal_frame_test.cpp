// Measuring a frame's rows, which DrawFrame needs to find its way back up.
#include "ui/terminal_frame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TerminalFrameTest, DisplayWidthCountsLettersNotBytesOrStyles) {
  const char* styled = "a\x1b[7m\xc5\x99\x1b[mb";
  EXPECT_EQ(3u, DisplayWidth(styled, strlen(styled)));
}

}  // namespace
