// DecodeKey: the escape sequences, control bytes and UTF-8 letters of a terminal.
#include "ui/key_decoder.h"

#include <cstring>
#include <iterator>

namespace {

const char kEscape = '\x1b';
// Longer than any key we know; a longer run after Esc is no key.
const size_t kLongestSequence = 16;

size_t Escape(Key* key) {
  key->name = kKeyEscape;
  return 1;
}

size_t Ignored(Key* key, size_t length) {
  key->name = kKeyIgnored;
  return length;
}

bool IsFinalByte(char c) { return c >= 0x40 && c <= 0x7E; }

struct KeyCode {
  int code;
  KeyName name;
};

// The final bytes of ESC [ and ESC O sequences, and the numbers before "~".
const KeyCode kCursorKeys[] = {{'A', kKeyUp},   {'B', kKeyDown}, {'C', kKeyRight},
                               {'D', kKeyLeft}, {'H', kKeyHome}, {'F', kKeyEnd}};
const KeyCode kTildeKeys[] = {
    {1, kKeyHome}, {7, kKeyHome}, {4, kKeyEnd}, {8, kKeyEnd}, {3, kKeyDelete}};
const KeyCode kControlKeys[] = {{'\r', kKeyEnter},     {'\n', kKeyEnter},     {'\t', kKeyTab},
                                {0x7f, kKeyBackspace}, {'\b', kKeyBackspace}, {0x04, kKeyCtrlD},
                                {0x15, kKeyCtrlU},     {0x17, kKeyCtrlW}};

KeyName Lookup(const KeyCode* table, size_t count, int code) {
  for (size_t i = 0; i < count; ++i) {
    if (table[i].code == code) return table[i].name;
  }
  return kKeyIgnored;
}

// ESC [ parameters final. Modifiers (Ctrl-Up is ESC [ 1 ; 5 A) do not change the key.
KeyName ControlSequenceKey(const char* parameters, size_t length, char final_byte) {
  if (final_byte == 'Z') return kKeyBackTab;
  if (final_byte != '~') return Lookup(kCursorKeys, std::size(kCursorKeys), final_byte);
  int number = 0;
  for (size_t i = 0; i < length && parameters[i] >= '0' && parameters[i] <= '9'; ++i) {
    if (number < 1000) number = number * 10 + (parameters[i] - '0');
  }
  return Lookup(kTildeKeys, std::size(kTildeKeys), number);
}

size_t DecodeEscape(const char* bytes, size_t length, bool input_paused, Key* key) {
  if (length < 2) return input_paused ? Escape(key) : 0;
  if (bytes[1] == 'O') {  // SS3, the cursor keys in application mode
    if (length < 3) return input_paused ? Escape(key) : 0;
    if (!IsFinalByte(bytes[2])) return Escape(key);
    key->name = Lookup(kCursorKeys, std::size(kCursorKeys), bytes[2]);
    return 3;
  }
  if (bytes[1] != '[') return Escape(key);  // Alt+letter, Esc q, a paste
  size_t end = 2;
  while (end < length && end < kLongestSequence && bytes[end] >= 0x30 && bytes[end] <= 0x3F) ++end;
  while (end < length && end < kLongestSequence && bytes[end] >= 0x20 && bytes[end] <= 0x2F) ++end;
  if (end == kLongestSequence) return Escape(key);
  if (end == length) return input_paused ? Escape(key) : 0;
  if (!IsFinalByte(bytes[end])) return Escape(key);
  key->name = ControlSequenceKey(bytes + 2, end - 2, bytes[end]);
  return end + 1;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// One UTF-8 letter; broken ones and C1 controls are dropped.
size_t DecodeLetter(const char* bytes, size_t length, bool input_paused, Key* key) {
  unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (first < 0xC2 || first > 0xF4) return Ignored(key, 1);
  size_t letter_length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
  for (size_t i = 1; i < letter_length; ++i) {
    if (i == length) return input_paused ? Ignored(key, i) : 0;
    if (!IsContinuationByte(bytes[i])) return Ignored(key, i);
  }
  unsigned char second = static_cast<unsigned char>(bytes[1]);
  if (first == 0xC2 && second < 0xA0) return Ignored(key, 2);
  // Overlong forms, surrogates and code points past U+10FFFF are no letters.
  if ((first == 0xE0 && second < 0xA0) || (first == 0xED && second > 0x9F) ||
      (first == 0xF0 && second < 0x90) || (first == 0xF4 && second > 0x8F)) {
    return Ignored(key, letter_length);
  }
  key->name = kKeyText;
  memcpy(key->text, bytes, letter_length);
  key->text[letter_length] = '\0';
  return letter_length;
}

}  // namespace

size_t DecodeKey(const char* bytes, size_t length, bool input_paused, Key* key) {
  key->name = kKeyIgnored;
  key->text[0] = '\0';
  if (length == 0) return 0;
  unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (bytes[0] == kEscape) return DecodeEscape(bytes, length, input_paused, key);
  if (first >= 0x80) return DecodeLetter(bytes, length, input_paused, key);
  if (first >= 0x20 && first < 0x7F) {
    key->name = kKeyText;
    key->text[0] = bytes[0];
    key->text[1] = '\0';
    return 1;
  }
  key->name = Lookup(kControlKeys, std::size(kControlKeys), first);
  return 1;
}
