// The conversion driver and the hand-over to the updater.
#include "convert/convert.h"

#include <cstdio>

#include "platform/platform.h"

static void ShowFileNotWritten(const char* campaign, const char* mission, const char* extension) {
  char message[128];
  snprintf(message, sizeof message, "Soubor %s%s.%s nelze zapsat!", campaign, mission, extension);
  ShowErrorMessage(message);
}

void ConvertMission(const char* campaign, const char* mission) {
  switch (WriteMissionList(campaign, mission)) {
    case kMissionListWritten:
      break;
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
  if (!WritePackageStub(campaign, mission)) {
    ShowFileNotWritten(campaign, mission, "kdp");
    return;
  }
  LaunchUpdater(campaign, mission);
}

void LaunchUpdater(const char* campaign, const char* mission) {
  char parameter[128];
  snprintf(parameter, sizeof parameter, "%s%s.txt", campaign, mission);
  StartProgramHidden("vozedudo.exe", parameter);
}
