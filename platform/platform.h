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
void EndFolderScan(FolderScan* scan);

// A file replaced whole: the new content is written aside, and takes the target's
// place only when complete, so a reader sees the old file or the new one, and a
// failure leaves the old one. The fields belong to the platform file.
constexpr size_t kPathSize = 512;
struct FileReplacement {
  FILE* stream;            // the new content is written here, in binary mode
  char target[kPathSize];  // the file replaced; through a symbolic link, the file it names
  char temp[kPathSize];    // the new content's name, empty while it has none
  char kept[kPathSize];    // the old content's name while it can still be put back
  bool created;            // there was no target before
  bool in_place;           // written into the target itself: cannot be undone
};

// Opens a new file for target's content. 0 when it cannot be made. Whatever the
// result, EndFileReplacement ends it; it may be called again, and on a replacement
// that was never begun.
int BeginFileReplacement(FileReplacement* file, const char* target);
// Closes the stream; 1 when everything written has reached the file.
int FinishFileContent(FileReplacement* file);
// 1 when the target may be replaced: it is no folder and the user may write it
// (a read-only file is refused, as Windows refuses it).
int TargetIsReplaceable(const FileReplacement* file);
// 1 when two replacements would end at the same file (a link to the other target).
int SameTarget(const FileReplacement* one, const FileReplacement* other);
// Puts the finished content, of a target found replaceable, in its place in one
// step, keeping the target's attributes. When an earlier reader holds the target so
// that it cannot be replaced, writes the content into it instead. 1 on success.
int PutFileInPlace(FileReplacement* file);
// Gives the target back its previous content after PutFileInPlace, where it can.
void RestorePreviousFile(FileReplacement* file);
// Removes what is left of the temporary and the kept files; closes the stream.
void EndFileReplacement(FileReplacement* file);
// Between these, a signal that ends the program waits, so that files are put in
// place all together or not at all.
void HoldInterruptions();
void ReleaseInterruptions();

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

// The platform files call the system through a table, so that tests can make a call
// fail for real ("readdir", "FindNextFileW", "rename", ...). A replacement must have
// the call's own type; NULL puts the system's call back. 1 when name is in the table.
typedef void (*SystemCall)();
int OverrideSystemCall(const char* name, SystemCall replacement);
// The system's own call of that name, for a replacement that fails only sometimes.
SystemCall RealSystemCall(const char* name);
