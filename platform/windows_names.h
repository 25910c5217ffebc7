// Whether a Windows program that opens a name as it stands gets the file of that
// name. It does not for control characters and the characters Windows keeps for
// paths and patterns, for a trailing dot or space (dropped on opening, so another
// file is opened), and for the names of devices (CON, NUL, COM1, ... with any
// extension). Used on the wide names on Windows and, for a Windows updater, on the
// names of a Linux folder.
#pragma once

#include <cstddef>

inline unsigned CodeOf(char c) { return static_cast<unsigned char>(c); }
inline unsigned CodeOf(wchar_t c) { return static_cast<unsigned>(c); }

template <typename Char>
bool WindowsOpensByName(const Char* name) {
  size_t length = 0;
  for (; name[length]; ++length) {
    unsigned code = CodeOf(name[length]);
    if (code < 0x20) return false;
    for (const char* reserved = "<>:\"/\\|?*"; *reserved; ++reserved) {
      if (code == CodeOf(*reserved)) return false;
    }
  }
  if (length == 0 || CodeOf(name[length - 1]) == '.' || CodeOf(name[length - 1]) == ' ') {
    return false;
  }
  size_t base = 0;
  while (name[base] && CodeOf(name[base]) != '.') ++base;
  if (base != 3 && base != 4) return true;
  char upper[5] = "";
  for (size_t i = 0; i < base; ++i) {
    unsigned code = CodeOf(name[i]);
    if (code >= 0x80) return true;
    upper[i] = static_cast<char>(code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code);
  }
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : kDevices) {
    if (base == 3 && upper[0] == device[0] && upper[1] == device[1] && upper[2] == device[2]) {
      return false;
    }
  }
  bool port = (upper[0] == 'C' && upper[1] == 'O' && upper[2] == 'M') ||
              (upper[0] == 'L' && upper[1] == 'P' && upper[2] == 'T');
  return !(base == 4 && port && upper[3] >= '1' && upper[3] <= '9');
}
