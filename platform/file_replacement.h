// Files replaced whole, together, by one converter at a time. The new content is
// written aside and takes the target's place only when complete, so a reader sees
// the old file or the new one; a failure leaves the old ones; a second converter
// of the same files waits for the first.
#pragma once

#include <cstddef>
#include <cstdio>

// Holds a set of target files against other converters until UnlockFiles, and
// first repairs what a converter killed while replacing them left: an old content
// kept aside goes back, temporaries go. The lock is taken on the working folder
// where the platform can lock a folder, else on a lock file named lock_name. Waits up to wait_ms
// for another holder; NULL when it still holds them then, or at once with *name_taken set when a
// file the converter did not make has the lock file's name. The system releases the lock of a
// process that is killed.
struct FileLock;
FileLock* LockFiles(const char* lock_name, const char* const* targets, size_t count, int wait_ms,
                    bool* name_taken);
void UnlockFiles(FileLock* lock);

// One file being replaced. NULL when its new content cannot be begun (the target
// is refused, or nothing can be written beside it).
struct FileReplacement;
FileReplacement* BeginFileReplacement(const char* target);
// Where the new content is written, in binary mode.
FILE* ReplacementStream(FileReplacement* file);
// Closes the stream; 1 when everything written has reached the file.
int FinishFileContent(FileReplacement* file);

struct Placement {
  size_t placed;     // count when all are in place; else the index of the one that failed
  bool rolled_back;  // after a failure: every file already placed has its old content back
};
// Puts finished files in place, all of them or none: when one cannot be, those
// already in place get their previous content back.
Placement PutFilesInPlace(FileReplacement* const* files, size_t count);

// Removes what is left of the temporaries; a file whose old content could not be
// put back keeps it under its own name, for the next conversion to restore. NULL
// is fine.
void EndFileReplacement(FileReplacement* file);
