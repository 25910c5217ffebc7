// The conversion driver and the hand-over to the updater.
#include "convert/convert.h"

#include <cstdio>

#include "platform/platform.h"

const char kUpdaterProgram[] = "vozedudo.exe";

// Why a conversion stopped is told to the user once the mission's files are let
// go: a box left open must not hold the mission against another window.

static void FileNotWritten(const char* campaign, const char* mission, const char* extension,
                           char* message) {
  snprintf(message, kMessageSize, "Soubor %s%s.%s nelze zapsat!", campaign, mission, extension);
}

static void ListFailure(int result, const char* campaign, const char* mission, char* message) {
  switch (result) {
    case kMissionFolderMissing:
      snprintf(message, kMessageSize, "Mise neexistuje!");
      return;
    case kMissionFolderUnreadable:
      snprintf(message, kMessageSize, "Složku mise nelze přečíst!");
      return;
    case kMissionEntryNameInvalid:
      snprintf(message, kMessageSize, "Neplatný název souboru v misi!");
      return;
    default:
      FileNotWritten(campaign, mission, "txt", message);
      return;
  }
}

// The stub failed after the list took its place, and the list could not be given
// its old content back: the user must know that it is not as it was.
static void PlacementFailure(const char* campaign, const char* mission, const Placement& result,
                             char* message) {
  if (result.rolled_back || result.placed == 0) {
    FileNotWritten(campaign, mission, result.placed == 0 ? "txt" : "kdp", message);
    return;
  }
  snprintf(message, kMessageSize,
           "Soubor %s%s.kdp nelze zapsat! Ani %s%s.txt se nepodařilo vrátit do předchozího stavu.",
           campaign, mission, campaign, mission);
}

FileLock* LockMissionFiles(const char* campaign, const char* mission, char* message) {
  char list[128], stub[128], lock_name[128];
  snprintf(list, sizeof list, "%s%s.txt", campaign, mission);
  snprintf(stub, sizeof stub, "%s%s.kdp", campaign, mission);
  snprintf(lock_name, sizeof lock_name, "%s%s.kdc-lock", campaign, mission);
  const char* const targets[] = {list, stub};
  bool name_taken = false;
  FileLock* lock = LockFiles(lock_name, targets, 2, kMissionBusyWaitMs, &name_taken);
  if (lock) return lock;
  if (name_taken) {
    snprintf(message, kMessageSize, "Soubor %s brání převodu mise: přejmenujte ho nebo ho smažte.",
             lock_name);
  } else {
    snprintf(message, kMessageSize, "%s",
             "Jiné okno právě převádí misi v této složce hry. Zkuste to znovu, až převod skončí.");
  }
  return nullptr;
}

// Under the lock: the list first, then the stub; neither takes its place before
// both are complete. 1 when both are in place.
static int ReplaceMissionFiles(const char* campaign, const char* mission, char* message) {
  FileReplacement* files[2] = {nullptr, nullptr};
  int listed = WriteMissionListAside(campaign, mission, &files[0]);
  if (listed != kMissionListWritten) {
    EndFileReplacement(files[0]);
    ListFailure(listed, campaign, mission, message);
    return 0;
  }
  Placement result = {1, true};
  if (WritePackageStubAside(campaign, mission, &files[1])) result = PutFilesInPlace(files, 2);
  EndFileReplacement(files[0]);
  EndFileReplacement(files[1]);
  if (result.placed < 2) {
    PlacementFailure(campaign, mission, result, message);
    return 0;
  }
  return 1;
}

int ConvertMission(const char* campaign, const char* mission) {
  char message[kMessageSize] = "";
  FileLock* lock = LockMissionFiles(campaign, mission, message);
  int converted = 0;
  if (lock) {
    // Started under the lock, so that no later converter undoes what it reads.
    converted =
        ReplaceMissionFiles(campaign, mission, message) && StartUpdater(campaign, mission, message);
    UnlockFiles(lock);
  }
  if (message[0]) ShowErrorMessage(message);
  return converted;
}

int StartUpdater(const char* campaign, const char* mission, char* message) {
  char parameter[128];
  snprintf(parameter, sizeof parameter, "%s%s.txt", campaign, mission);
  if (StartProgramHidden(kUpdaterProgram, parameter)) return 1;
  snprintf(message, kMessageSize, "Program %s nelze spustit!", kUpdaterProgram);
  return 0;
}

int LaunchUpdater(const char* campaign, const char* mission) {
  char message[kMessageSize] = "";
  int started = StartUpdater(campaign, mission, message);
  if (message[0]) ShowErrorMessage(message);
  return started;
}
