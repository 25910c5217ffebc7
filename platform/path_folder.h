// The folder part of a path, the one rule every platform file uses for it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

// Room for a path the platform files build beside a target.
constexpr size_t kPathSize = 512;

// Length of path's folder part with its last separator ("a/b/c" gives 4, "c" 0).
inline size_t FolderPartLength(const char* path, char separator) {
  const char* last = strrchr(path, separator);
  return last ? static_cast<size_t>(last - path) + 1 : 0;
}

// The folder of a POSIX path, "." for a bare name and "/" for one at the root.
inline void FolderOf(const char* path, char* folder, size_t size) {
  size_t length = FolderPartLength(path, '/');
  if (length == 0) {
    snprintf(folder, size, ".");
  } else {
    snprintf(folder, size, "%.*s", length > 1 ? static_cast<int>(length - 1) : 1, path);
  }
}
