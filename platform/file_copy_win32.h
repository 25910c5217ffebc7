// Copies of a file's content on Windows, through handles that let a reader holding
// the file go on reading; every read and write checked, so that a copy cut short
// never counts as whole.
#pragma once

#include <windows.h>

#include "platform/content_hash.h"

// A kept copy's name carries the hash of its content, which tells a whole copy of
// ours from one cut short or a user's file of a like name.
bool ContentHashesTo(const char* name, unsigned long long hash);

BOOL Move(const char* from, const char* to, DWORD flags);
// What a reader that does not let the file be replaced makes a move fail with.
bool HeldOpen(DWORD error);
// With all sharing, so that a reader holding the file allows it and goes on reading.
HANDLE OpenBesideReaders(const char* name, DWORD access);
HANDLE OpenToRead(const char* name);
bool WriteAll(HANDLE to, const char* bytes, DWORD size);
// Copies all of from, from its start, to where to stands (to may be NULL: only the
// hash is wanted).
bool CopyContent(HANDLE from, HANDLE to, unsigned long long* hash);
// Writes the whole file source over the open file target and cuts what is left of
// the target's old content.
bool WriteContentInto(const char* source, HANDLE target);
// Writes the file source into the existing file target, beside its readers.
bool WriteInto(const char* source, const char* target);
