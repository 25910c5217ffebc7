// Folder enumeration, with names put into the form their reader opens them by.
#pragma once

#include <cstddef>

struct FolderScan;

enum FolderStep {
  kFolderEntry,    // *name holds the next entry
  kFolderEnd,      // every entry has been returned
  kFolderError,    // the listing broke off before its end
  kFolderBadName,  // the entry's name cannot be stated faithfully to the reader
};

// Starts listing the folder of a search pattern such as "__Am\01\*.*" (backslash
// separated, relative to the working directory). Names come out as reader, the
// program that will read them (found as StartProgramHidden finds it), reads file
// names: in the ANSI code page for a Windows program. NULL when the folder is
// missing or cannot be listed at all.
FolderScan* BeginFolderScan(const char* pattern, const char* reader);
// Returns the folder's entries in the order the platform yields them, never "." or
// "..". *name stays valid until the next call.
FolderStep NextFolderEntry(FolderScan* scan, const char** name);
// Releases the scan, in every case.
void EndFolderScan(FolderScan* scan);
