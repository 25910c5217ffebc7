// How the bytes a terminal sends become keys.
#include "ui/key_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

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
      {"\xc0\x80", false, 1, kKeyIgnored, ""},  // overlong: NUL in two bytes
      {"\xc1\xbf", false, 1, kKeyIgnored, ""},
      {"\xf5\x80\x80\x80", false, 1, kKeyIgnored, ""},  // past U+10FFFF
      {"\xe0\x80\x80", false, 3, kKeyIgnored, ""},      // overlong in three bytes
      {"\xed\xa0\x80", false, 3, kKeyIgnored, ""},      // a surrogate
      {"\xf4\x90\x80\x80", false, 4, kKeyIgnored, ""},  // past U+10FFFF
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

}  // namespace
