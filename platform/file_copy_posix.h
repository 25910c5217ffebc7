// Copies of a file's content: kept aside whole, or written back into a file in
// place. Every read and write is checked, so that a copy cut short never counts.
#pragma once

#include <cstddef>

// Moves from to the new name to, never over a file already there.
bool RenameNoReplace(const char* from, const char* to);
// Copies the file source into a new file beside it, complete before it takes its
// name ".NAME.old-PID-N" (it is written as ".NAME.part-PID-N" first), into copy
// (kPathSize bytes). Ours and readable by us alone, or with source's owner, group
// and mode where it is to stand for the file. False when that cannot be done whole.
bool KeepCopy(const char* source, bool with_owner, char* copy);
// Writes the whole content of the file source into the existing file target, from
// its start, and cuts what is left of the target's old content.
bool WriteContentInto(const char* source, const char* target);
