// Files replaced whole, one converter at a time. The new content is written aside
// as a temporary and put in place with one rename, so a reader sees the old file
// or the new one. Where a rename cannot work or would lose something of the file,
// the content is written into the file itself, with a backup while that lasts.
#pragma once

#include <cstddef>
#include <cstdio>

// Holds a set of target files against other converters until UnlockFiles. The lock
// is taken on the working folder where the platform can lock a folder, else on a
// lock file named lock_name. Once it is taken, the temporaries and backups that a
// killed converter left beside the targets are removed: nobody reads them, and
// nothing is put back. Waits up to wait_ms for another holder; NULL when it still
// holds them then, or at once with *name_taken set when a file the converter did
// not make has the lock file's name. The system releases a killed holder's lock.
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

// 1 when the target may be replaced: a plain file the user may write, or none.
int TargetIsReplaceable(const FileReplacement* file);
// 1 when two replacements would end at the same file.
int SameTarget(const FileReplacement* one, const FileReplacement* other);

// Puts the finished content in place; 1 when it is. On failure the target keeps
// its old content, unless writing into it failed and the backup could not be put
// back: then the backup stays, and KeptBackup names it.
int PutFileInPlace(FileReplacement* file);
const char* KeptBackup(const FileReplacement* file);
// Removes the target again if PutFileInPlace made it where there was none.
void RemoveCreatedFile(FileReplacement* file);

// Removes the temporary if it is still there. NULL is fine.
void EndFileReplacement(FileReplacement* file);
