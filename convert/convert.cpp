// The conversion driver and the hand-over to the updater: it locks the mission,
// has the writers (mission_files.h) write both files aside, puts them in place
// and starts the updater.
#include "convert/convert.h"

#include <cstdio>

#include "platform/platform.h"

const char kUpdaterProgram[] = "vozedudo.exe";

constexpr size_t kMessageSize = 640;  // room for a backup's path

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

// A file not put in place: the old one stays, unless writing into it failed and
// its backup could not be put back, which the user must then know of.
static void PlacementFailure(const FileReplacement* file, const char* campaign, const char* mission,
                             const char* extension, char* message) {
  const char* backup = KeptBackup(file);
  if (!backup) {
    FileNotWritten(campaign, mission, extension, message);
    return;
  }
  snprintf(message, kMessageSize,
           "Soubor %s%s.%s nelze zapsat! Jeho předchozí obsah je v souboru %s.", campaign, mission,
           extension, backup);
}

// Holds the mission's two files against other converters; NULL when another one
// still converts it, with the reason in message.
static FileLock* LockMissionFiles(const char* campaign, const char* mission, char* message) {
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

// Every refusal is found before either file changes. Then the stub goes in place
// first and the list last: the stub's bytes never change, so whatever stops the
// conversion between the two, a list always stands beside its stub.
static int PutMissionFilesInPlace(FileReplacement* list, FileReplacement* stub,
                                  const char* campaign, const char* mission, char* message) {
  if (!TargetIsReplaceable(list)) {
    FileNotWritten(campaign, mission, "txt", message);
    return 0;
  }
  if (!TargetIsReplaceable(stub) || SameTarget(list, stub)) {
    FileNotWritten(campaign, mission, "kdp", message);
    return 0;
  }
  if (!PutFileInPlace(stub)) {
    PlacementFailure(stub, campaign, mission, "kdp", message);
    return 0;
  }
  if (PutFileInPlace(list)) return 1;
  RemoveCreatedFile(stub);  // a first conversion that fails leaves no stub
  PlacementFailure(list, campaign, mission, "txt", message);
  return 0;
}

// Under the lock: both files written aside, the list first, then put in place.
static int ReplaceMissionFiles(const char* campaign, const char* mission, char* message) {
  FileReplacement* list = nullptr;
  FileReplacement* stub = nullptr;
  int converted = 0;
  int listed = WriteMissionListAside(campaign, mission, kUpdaterProgram, &list);
  if (listed != kMissionListWritten) {
    ListFailure(listed, campaign, mission, message);
  } else if (!WritePackageStubAside(campaign, mission, &stub)) {
    FileNotWritten(campaign, mission, "kdp", message);
  } else {
    converted = PutMissionFilesInPlace(list, stub, campaign, mission, message);
  }
  EndFileReplacement(list);
  EndFileReplacement(stub);
  return converted;
}

// LaunchUpdater, with the failure's text in message instead of shown.
static int StartUpdater(const char* campaign, const char* mission, char* message) {
  char parameter[128];
  snprintf(parameter, sizeof parameter, "%s%s.txt", campaign, mission);
  if (StartProgramHidden(kUpdaterProgram, parameter)) return 1;
  snprintf(message, kMessageSize, "Program %s nelze spustit!", kUpdaterProgram);
  return 0;
}

int ConvertMission(const char* campaign, const char* mission) {
  char message[kMessageSize] = "";
  FileLock* lock = LockMissionFiles(campaign, mission, message);
  int converted = 0;
  if (lock) {
    // Started under the lock, so that no other converter rewrites the files first.
    converted =
        ReplaceMissionFiles(campaign, mission, message) && StartUpdater(campaign, mission, message);
    UnlockFiles(lock);
  }
  if (message[0]) ShowErrorMessage(message);
  return converted;
}

int LaunchUpdater(const char* campaign, const char* mission) {
  char message[kMessageSize] = "";
  int started = StartUpdater(campaign, mission, message);
  if (message[0]) ShowErrorMessage(message);
  return started;
}

// The mission's lock for one of its files alone; NULL, and the reason shown, when
// another converter holds it.
static FileLock* LockForOneFile(const char* campaign, const char* mission) {
  char message[kMessageSize] = "";
  FileLock* lock = LockMissionFiles(campaign, mission, message);
  if (!lock) ShowErrorMessage(message);
  return lock;
}

int WriteMissionList(const char* campaign, const char* mission) {
  FileLock* lock = LockForOneFile(campaign, mission);
  if (!lock) return kMissionListNotWritten;
  FileReplacement* list;
  int result = WriteMissionListAside(campaign, mission, kUpdaterProgram, &list);
  if (result == kMissionListWritten && !(TargetIsReplaceable(list) && PutFileInPlace(list))) {
    result = kMissionListNotWritten;
  }
  EndFileReplacement(list);
  UnlockFiles(lock);
  return result;
}

int WritePackageStub(const char* campaign, const char* mission) {
  FileLock* lock = LockForOneFile(campaign, mission);
  if (!lock) return 0;
  FileReplacement* stub;
  int written = WritePackageStubAside(campaign, mission, &stub) && TargetIsReplaceable(stub) &&
                PutFileInPlace(stub);
  EndFileReplacement(stub);
  UnlockFiles(lock);
  return written;
}
