// The few operating-system services the conversion needs. One implementation per
// platform: platform_win32.cpp and platform_posix.cpp.
#pragma once

#include <cstddef>
#include <cstdio>

// Folder enumeration. A scan is released with EndFolderScan in every case.
struct FolderScan;

enum FolderStep {
  kFolderEntry,    // *name holds the next entry
  kFolderEnd,      // every entry has been returned
  kFolderError,    // the listing broke off before its end
  kFolderBadName,  // the entry's name cannot be stated faithfully as a path
};

// Starts listing the folder of a search pattern such as "__Am\01\*.*" (backslash
// separated, relative to the working directory). NULL when the folder is missing or
// cannot be listed at all.
FolderScan* BeginFolderScan(const char* pattern);
// Returns the folder's entries in the order the platform yields them, never "." or
// "..". *name stays valid until the next call.
FolderStep NextFolderEntry(FolderScan* scan, const char** name);
void EndFolderScan(FolderScan* scan);

// Creates a new, uniquely named file in the working directory, open for binary
// writing, and puts its name into temp_name (kTempNameSize bytes). NULL when it
// cannot be created.
constexpr size_t kTempNameSize = 260;
FILE* CreateTemporaryFile(char* temp_name);
// Puts source in target's place in one step, replacing target. 1 on success.
int MoveFileOver(const char* source, const char* target);

// Shows a UTF-8 text to the user with the caption "Chyba" and waits until it is seen:
// ShowMessageBox, unless the messages are redirected.
void ShowErrorMessage(const char* text);
void ShowMessageBox(const char* text);
// Test runs must never wait for a click: they route the messages here instead.
typedef void (*ErrorMessageSink)(const char* text);
void RedirectErrorMessages(ErrorMessageSink sink);

// Starts program (a bare file name, found as the shell finds programs) with one
// parameter, without a window, in the working directory, and does not wait for it.
// A program that cannot be found or started is not reported.
void StartProgramHidden(const char* program, const char* parameter);
