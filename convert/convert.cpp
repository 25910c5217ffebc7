// The conversion driver and the hand-over to the updater.
#include "convert/convert.h"

#include <cstdio>

#include "platform/platform.h"

const char kUpdaterProgram[] = "vozedudo.exe";

static void ShowFileNotWritten(const char* campaign, const char* mission, const char* extension) {
  char message[128];
  snprintf(message, sizeof message, "Soubor %s%s.%s nelze zapsat!", campaign, mission, extension);
  ShowErrorMessage(message);
}

static void ShowListFailure(int result, const char* campaign, const char* mission) {
  switch (result) {
    case kMissionFolderMissing:
      ShowErrorMessage("Mise neexistuje!");
      return;
    case kMissionFolderUnreadable:
      ShowErrorMessage("Složku mise nelze přečíst!");
      return;
    case kMissionEntryNameInvalid:
      ShowErrorMessage("Neplatný název souboru v misi!");
      return;
    default:
      ShowFileNotWritten(campaign, mission, "txt");
      return;
  }
}

// The stub failed after the list took its place, and the list could not be given
// its old content back: the user must know that it is not as it was.
static void ShowPlacementFailure(const char* campaign, const char* mission,
                                 const Placement& result) {
  if (result.rolled_back || result.placed == 0) {
    ShowFileNotWritten(campaign, mission, result.placed == 0 ? "txt" : "kdp");
    return;
  }
  char message[192];
  snprintf(message, sizeof message,
           "Soubor %s%s.kdp nelze zapsat! Ani %s%s.txt se nepodařilo vrátit do předchozího stavu.",
           campaign, mission, campaign, mission);
  ShowErrorMessage(message);
}

FileLock* LockMissionFiles(const char* campaign, const char* mission) {
  char list[128], stub[128], lock_name[128];
  snprintf(list, sizeof list, "%s%s.txt", campaign, mission);
  snprintf(stub, sizeof stub, "%s%s.kdp", campaign, mission);
  snprintf(lock_name, sizeof lock_name, "%s%s.kdc-lock", campaign, mission);
  const char* const targets[] = {list, stub};
  FileLock* lock = LockFiles(lock_name, targets, 2, kMissionBusyWaitMs);
  if (!lock) {
    char message[128];
    snprintf(message, sizeof message,
             "Misi %s%s právě převádí jiné okno. Zkuste to znovu, až převod skončí.", campaign,
             mission);
    ShowErrorMessage(message);
  }
  return lock;
}

// Under the lock: the list first, then the stub; neither takes its place before
// both are complete.
static int ConvertLockedMission(const char* campaign, const char* mission) {
  FileReplacement* files[2] = {nullptr, nullptr};
  int listed = WriteMissionListAside(campaign, mission, &files[0]);
  if (listed != kMissionListWritten) {
    EndFileReplacement(files[0]);
    ShowListFailure(listed, campaign, mission);
    return 0;
  }
  Placement result = {1, true};
  if (WritePackageStubAside(campaign, mission, &files[1])) result = PutFilesInPlace(files, 2);
  EndFileReplacement(files[0]);
  EndFileReplacement(files[1]);
  if (result.placed < 2) {
    ShowPlacementFailure(campaign, mission, result);
    return 0;
  }
  return LaunchUpdater(campaign, mission);
}

int ConvertMission(const char* campaign, const char* mission) {
  FileLock* lock = LockMissionFiles(campaign, mission);
  if (!lock) return 0;
  int converted = ConvertLockedMission(campaign, mission);
  UnlockFiles(lock);
  return converted;
}

int LaunchUpdater(const char* campaign, const char* mission) {
  char parameter[128];
  snprintf(parameter, sizeof parameter, "%s%s.txt", campaign, mission);
  if (StartProgramHidden(kUpdaterProgram, parameter)) return 1;
  char message[128];
  snprintf(message, sizeof message, "Program %s nelze spustit!", kUpdaterProgram);
  ShowErrorMessage(message);
  return 0;
}
