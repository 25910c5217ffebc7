// The conversion of one mission: the mission list file, the package stub and the
// start of the updater. Codes are passed as they come: campaign first, then mission.
#pragma once

#include "platform/platform.h"

// What WriteMissionList found; 1 and 0 keep their long-standing meaning.
enum MissionListResult {
  kMissionListWritten = 1,
  kMissionFolderMissing = 0,
  kMissionFolderUnreadable = -1,  // the listing broke off; no list written
  kMissionEntryNameInvalid = -2,  // an entry cannot be named in the list; none written
  kMissionListNotWritten = -3,    // the list file could not be written; the old one stays
};

// The program the conversion hands the list to, and which reads the names in it.
extern const char kUpdaterProgram[];

// How long a conversion waits for another converter of the same mission.
constexpr int kMissionBusyWaitMs = 3000;

// Lists the mission folder, writes both files and starts the updater, or tells the
// user why not. The stub goes in place before the list that names it. 1 when the
// updater was started.
int ConvertMission(const char* campaign, const char* mission);

// Writes "Am01.txt" from the folder "__Am\01\"; returns a MissionListResult.
int WriteMissionList(const char* campaign, const char* mission);

// Writes the 90-byte "Am01.kdp"; 1 when written, 0 when the old file stays.
int WritePackageStub(const char* campaign, const char* mission);

// Starts "vozedudo.exe Am01.txt" hidden, without waiting for it; 1 when it started.
int LaunchUpdater(const char* campaign, const char* mission);

// The same files written completely aside, not yet in place (file_replacement.h);
// *file is to be ended with EndFileReplacement whatever the result.
int WriteMissionListAside(const char* campaign, const char* mission, FileReplacement** list);
int WritePackageStubAside(const char* campaign, const char* mission, FileReplacement** stub);

// Holds the mission's two files against other converters (file_replacement.h);
// NULL when another one still converts it, with the reason in message, which has
// room for kMessageSize bytes.
constexpr size_t kMessageSize = 640;  // room for a backup's path
FileLock* LockMissionFiles(const char* campaign, const char* mission, char* message);
// LaunchUpdater, with the failure's text in message instead of shown.
int StartUpdater(const char* campaign, const char* mission, char* message);

extern const unsigned char kPackageStub[90];
