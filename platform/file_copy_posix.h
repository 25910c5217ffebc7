// Copies of a file's content: kept aside whole, or written back into a file in
// place. Every read and write is checked, so that a copy cut short never counts.
#pragma once

#include <cstddef>

// Moves from to the new name to, never over a file already there.
bool RenameNoReplace(const char* from, const char* to);
// Copies the file source into a new file beside it, complete before it takes its
// name ".NAME.KIND-PID-N" (it is written as ".NAME.part-PID-N" first), into copy
// (kPathSize bytes). Ours and readable by us alone, or with source's owner, group
// and mode where it is to stand for the file. False when that cannot be done whole.
bool KeepCopy(const char* source, bool with_owner, const char* kind, char* copy);
// Writes all that the open file from holds, from its start, into the existing file
// target from its start, and cuts what is left of the target's old content. While
// it writes, lease (a kept copy's name, or NULL) keeps a time a little ahead, so
// that a converter killed meanwhile is seen to have left the target torn.
bool WriteContentInto(int from, const char* target, const char* lease);
// The same from a copy of our own named source. Neither follows a link, nor waits
// on a pipe: only a plain file is read or written.
bool WriteFileInto(const char* source, const char* target, const char* lease);
bool RenewLease(const char* lease);
