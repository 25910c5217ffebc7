// Measuring a frame's rows, which DrawFrame needs to find its way back up, and the
// frame and keys on a pseudo-terminal taken over as the dialog takes its terminal.
#include "ui/terminal_frame.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ui/terminal.h"

namespace {

TEST(TerminalFrameTest, DisplayWidthCountsLettersNotBytesOrStyles) {
  const char* styled = "a\x1b[7m\xc5\x99\x1b[mb";
  EXPECT_EQ(3u, DisplayWidth(styled, strlen(styled)));
}

// A row breaks after the last word that fits, never inside a word or a control in
// [ ]; a first word wider than the terminal is left to it.
TEST(TerminalFrameTest, RowsBreakBetweenWords) {
  const char* help = "Tab přepíná, ↑↓ Home End mění výběr, Enter převede, Esc ukončí.";
  const char* controls = "Zvolte misi:  \x1b[7m[Am ▾]\x1b[m  [01  ▾]   [ Proveď převod ]";
  struct Case {
    const char* row;
    size_t columns;
    std::string first;
  } cases[] = {
      {help, 60, "Tab přepíná, ↑↓ Home End mění výběr, Enter převede, Esc"},
      {help, 40, "Tab přepíná, ↑↓ Home End mění výběr,"},
      {"abcd efgh", 4, "abcd"},
      {controls, 40, "Zvolte misi:  \x1b[7m[Am ▾]\x1b[m  [01  ▾]"},
      {"abcdefgh ij", 5, ""},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(test.first, std::string(test.row, RowBreak(test.row, test.columns)));
  }
}

// A terminal 20 columns wide, echoing and by lines until it is taken over, with
// output bytes passed as written; the test types and reads on its other side.
class PseudoTerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(controller_, 0);
    ASSERT_EQ(0, grantpt(controller_));
    ASSERT_EQ(0, unlockpt(controller_));
    terminal_ = open(ptsname(controller_), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal_, 0);
    struct termios modes;
    ASSERT_EQ(0, tcgetattr(terminal_, &modes));
    modes.c_lflag |= ICANON | ECHO;
    modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    ASSERT_EQ(0, tcsetattr(terminal_, TCSANOW, &modes));
    struct winsize size = {};
    size.ws_row = 24;
    size.ws_col = 20;
    ASSERT_EQ(0, ioctl(terminal_, TIOCSWINSZ, &size));
    ForgetFrame(false);
    ASSERT_TRUE(TakeOverTerminal(terminal_, terminal_));
  }
  void TearDown() override {
    RestoreTerminal();
    if (terminal_ >= 0) close(terminal_);
    if (controller_ >= 0) close(controller_);
  }
  // What reached the other side, until it has been quiet a while.
  std::string Output() {
    std::string text;
    struct pollfd ready = {controller_, POLLIN, 0};
    char bytes[4096];
    while (poll(&ready, 1, 200) > 0) {
      ssize_t got = read(controller_, bytes, sizeof bytes);
      if (got <= 0) break;
      text.append(bytes, static_cast<size_t>(got));
    }
    return text;
  }
  int controller_ = -1;
  int terminal_ = -1;
};

// Each key comes as it is typed, not after Enter, and the terminal does not echo it.
TEST_F(PseudoTerminalTest, KeysAreReadAsTypedWithoutEcho) {
  ASSERT_EQ(2, write(controller_, "ab", 2));
  struct pollfd ready = {terminal_, POLLIN, 0};
  ASSERT_EQ(1, poll(&ready, 1, 5000)) << "no key arrived";
  for (const char* typed : {"a", "b"}) {
    Key key;
    ASSERT_EQ(kTerminalKey, ReadTerminalKey(&key));
    EXPECT_STREQ(typed, key.text);
  }
  EXPECT_EQ("", Output());

  // A resize while waiting for a key asks for a redraw, and the wait goes on.
  pid_t resizer = fork();
  if (resizer == 0) {
    usleep(100000);
    kill(getppid(), SIGWINCH);
    _exit(0);
  }
  Key key;
  EXPECT_EQ(kTerminalResized, ReadTerminalKey(&key));
  waitpid(resizer, nullptr, 0);
  ASSERT_EQ(1, write(controller_, "c", 1));
  ASSERT_EQ(kTerminalKey, ReadTerminalKey(&key));
  EXPECT_STREQ("c", key.text);
}

// A row that fills the width exactly leaves the terminal's cursor at its end, not
// on the next row; drawing over goes up by the rows the frame really took.
TEST_F(PseudoTerminalTest, RowsOfExactlyTheWidthAreDrawnOverInPlace) {
  const std::string full(20, 'x');
  struct Case {
    std::vector<std::string> rows;
    size_t cursor_offset;
    std::string cursor_move;  // after the rows, back to the cursor
    std::string up;           // from the cursor to the frame's first row
    std::string first_drawn = "";
  } cases[] = {
      {{full, full}, 20, "", "\x1b[1A"},
      {{"title", full + full}, 40, "", "\x1b[2A"},
      {{full, full + full}, 5, "\x1b[1A\r\x1b[5C", "\x1b[1A"},
      {{"aaaa bbbb cccc dddd eeee", "x"}, 1, "", "\x1b[2A", "aaaa bbbb cccc dddd\r\neeee"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.rows.back() + " " + std::to_string(test.cursor_offset));
    Frame frame = {};
    frame.row_count = static_cast<int>(test.rows.size());
    for (int i = 0; i < frame.row_count; ++i) {
      snprintf(frame.rows[i], kFrameRowSize, "%s", test.rows[i].c_str());
    }
    frame.cursor_offset = test.cursor_offset;
    ForgetFrame(false);
    DrawFrame(&frame);
    const std::string first = test.first_drawn.empty() ? test.rows[0] : test.first_drawn;
    EXPECT_EQ("\r\x1b[J" + first + "\r\n" + test.rows[1] + test.cursor_move, Output());
    DrawFrame(&frame);
    const std::string redraw_start = "\r" + test.up + "\r\x1b[J";
    EXPECT_EQ(redraw_start, Output().substr(0, redraw_start.size()));
  }
}

}  // namespace
