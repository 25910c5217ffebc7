// The conversion driver and the hand-over to the updater.
#include "convert/convert.h"

#include <cstdio>

#include "convert/replace_file.h"
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

void ConvertMission(const char* campaign, const char* mission) {
  // The list first, then the stub; neither takes its place before both are complete.
  FileReplacement files[2];
  int listed = WriteMissionListAside(campaign, mission, &files[0]);
  if (listed != kMissionListWritten) {
    EndFileReplacement(&files[0]);
    ShowListFailure(listed, campaign, mission);
    return;
  }
  int stub_written = WritePackageStubAside(campaign, mission, &files[1]);
  size_t placed = stub_written ? PutFilesInPlace(files, 2) : 1;
  EndFileReplacement(&files[0]);
  EndFileReplacement(&files[1]);
  if (placed < 2) {
    ShowFileNotWritten(campaign, mission, placed == 0 ? "txt" : "kdp");
    return;
  }
  LaunchUpdater(campaign, mission);
}

void LaunchUpdater(const char* campaign, const char* mission) {
  char parameter[128];
  snprintf(parameter, sizeof parameter, "%s%s.txt", campaign, mission);
  StartProgramHidden(kUpdaterProgram, parameter);
}
