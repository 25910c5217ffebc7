// Names made beside a file for its temporaries, ".Am01.txt.KIND-PID-N", and their
// removal when a signal ends the program, in the manner of git's tempfile.
#pragma once

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

#include "platform/file_replacement_steps.h"
#include "platform/path_folder.h"

constexpr size_t kPathSize = 512;

// From the first until the last replacement, a signal that ends the program
// removes every watched name.
void BeginWatchingNames();
void EndWatchingNames();
// name must stay where it is while watched; a full list watches no more.
void Watch(char* name);
void Unwatch(char* name);

// The folder of path, "." for a bare name.
void FolderOf(const char* path, char* folder, size_t size);
// Whether a name's "PID-N" part (after "KIND-") is that of a process that is gone:
// none has that number, or only a zombie, or one started after the file was made.
bool LeftByEndedProcess(const char* pid_and_number, const struct timespec& made);
unsigned NextNameNumber();

// What a kept copy or mark is about, by the file's inode and its content's time (a
// later file may be given the same inode number): "KIND.INODE.TIME".
void KindAbout(const char* kind, const struct stat& file, char* name, size_t size);
// INODE and TIME from the text after "KIND.", up to the "-" before the process
// number; false when it is not of that form.
bool ParseKindAbout(const char* text, unsigned long long* inode, long long* time);
long long ContentTime(const struct stat& file);
inline bool SameFile(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Makes a file of a new name beside path's file with create(name), which fails with
// EEXIST when the name is taken (left by an earlier process of the same number):
// then the next number is tried. Signals wait until the name is watched, so that
// one removes only what is ours. False, and name empty, on failure.
template <typename Create>
bool CreateBeside(const char* path, const char* kind, char* name, Create create) {
  int folder_length = static_cast<int>(FolderPartLength(path, '/'));
  bool created = false;
  HoldInterruptions();
  for (int attempt = 0; attempt < 100 && !created; ++attempt) {
    int length =
        snprintf(name, kPathSize, "%.*s.%s.%s-%ld-%u", folder_length, path, path + folder_length,
                 kind, static_cast<long>(getpid()), NextNameNumber());
    if (length < 0 || static_cast<size_t>(length) >= kPathSize) break;
    created = create(name);
    if (!created && errno != EEXIST) break;
  }
  if (created) {
    Watch(name);
  } else {
    name[0] = '\0';
  }
  ReleaseInterruptions();
  return created;
}
