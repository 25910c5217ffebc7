// The bytes a terminal sends for a key, made into the key. Pure, so that every
// sequence can be tried without a terminal.
#pragma once

#include <cstddef>

enum KeyName {
  kKeyIgnored,  // a control byte or a key the dialog has no use for
  kKeyText,     // one letter, its UTF-8 bytes in Key::text
  kKeyEnter,
  kKeyTab,
  kKeyBackTab,  // Shift-Tab
  kKeyEscape,
  kKeyUp,
  kKeyDown,
  kKeyLeft,
  kKeyRight,
  kKeyHome,
  kKeyEnd,
  kKeyDelete,
  kKeyBackspace,
  kKeyCtrlD,
  kKeyCtrlU,
  kKeyCtrlW,
};

struct Key {
  KeyName name;
  char text[5];  // kKeyText: the letter's bytes, terminated
};

// Decodes the key at the start of bytes and returns how many bytes it takes. 0
// when the bytes begin a key whose other bytes have not arrived; once no more
// will come (input_paused), they are read as what they are on their own: an Esc
// that starts nothing known is an Esc.
size_t DecodeKey(const char* bytes, size_t length, bool input_paused, Key* key);
