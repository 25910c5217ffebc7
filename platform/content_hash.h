// A 64-bit FNV-1a hash of a file's content: a kept copy's name carries it on
// Windows, and a copy made before writing into a file names what was to be written.
#pragma once

#include <cstddef>

constexpr unsigned long long kHashStart = 0xcbf29ce484222325ULL;

inline void HashBytes(unsigned long long* hash, const char* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    *hash = (*hash ^ static_cast<unsigned char>(bytes[i])) * 0x100000001b3ULL;
  }
}
