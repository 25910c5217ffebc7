// The folder part of a path, the one rule every platform file uses for it.
#pragma once

#include <cstddef>
#include <cstring>

// Length of path's folder part with its last separator ("a/b/c" gives 4, "c" 0).
inline size_t FolderPartLength(const char* path, char separator) {
  const char* last = strrchr(path, separator);
  return last ? static_cast<size_t>(last - path) + 1 : 0;
}
