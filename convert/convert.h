// The conversion of one mission: the mission list file, the package stub and the
// start of the updater. Codes are passed as they come: campaign first, then mission.
#pragma once

#include "convert/mission_files.h"

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
