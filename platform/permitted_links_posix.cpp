// Following only the links a user may trust.
#include "platform/permitted_links_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/path_folder.h"

bool ResolvePermittedLinks(const char* name, char* resolved) {
  snprintf(resolved, kPathSize, "%s", name);
  for (int depth = 0; depth < 40; ++depth) {
    struct stat link_status;
    if (lstat(resolved, &link_status) != 0 || !S_ISLNK(link_status.st_mode)) return true;
    char folder[kPathSize];
    FolderOf(resolved, folder, sizeof folder);
    struct stat folder_status;
    if (stat(folder, &folder_status) != 0) return false;
    if (link_status.st_uid != geteuid() && link_status.st_uid != folder_status.st_uid) return false;
    char link[kPathSize];
    ssize_t length = readlink(resolved, link, sizeof link - 1);
    if (length < 0 || static_cast<size_t>(length) >= sizeof link - 1) return false;
    link[length] = '\0';
    char next[kPathSize];
    int folder_length = link[0] == '/' ? 0 : static_cast<int>(FolderPartLength(resolved, '/'));
    if (snprintf(next, sizeof next, "%.*s%s", folder_length, resolved, link) >=
        static_cast<int>(sizeof next)) {
      return false;
    }
    memcpy(resolved, next, sizeof next);
  }
  return false;
}
