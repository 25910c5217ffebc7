// The mission list file: a line naming the stub, then one line per entry of the
// mission folder pairing its place under "missions\" with its place on disk.
#include <cstdio>

#include "convert/convert.h"
#include "convert/replace_file.h"
#include "platform/platform.h"

// Streams the folder's entries into the list; the names are never held together,
// so a folder of any size costs the same memory.
static int WriteEntries(FolderScan* scan, FILE* list, const char* campaign, const char* mission) {
  // The file is binary and ends its lines itself, so the bytes are the same on
  // every platform.
  if (fprintf(list, " %s%s.kdp\r\n", campaign, mission) < 0) return kMissionListNotWritten;
  for (;;) {
    const char* entry;
    switch (NextFolderEntry(scan, &entry)) {
      case kFolderEntry:
        break;
      case kFolderEnd:
        return kMissionListWritten;
      case kFolderError:
        return kMissionFolderUnreadable;
      case kFolderBadName:
        return kMissionEntryNameInvalid;
    }
    if (fprintf(list, "missions\\__%s\\%s\\%s#__%s\\%s\\%s\r\n", campaign, mission, entry, campaign,
                mission, entry) < 0) {
      return kMissionListNotWritten;
    }
  }
}

int WriteMissionList(const char* campaign, const char* mission) {
  char name[256];
  snprintf(name, sizeof name, "__%s\\%s\\*.*", campaign, mission);
  FolderScan* scan = BeginFolderScan(name);
  if (!scan) return kMissionFolderMissing;

  snprintf(name, sizeof name, "%s%s.txt", campaign, mission);
  char temp_name[kTempNameSize];
  FILE* list = CreateTemporaryFile(temp_name);
  if (!list) {
    EndFolderScan(scan);
    return kMissionListNotWritten;
  }
  int result = WriteEntries(scan, list, campaign, mission);
  EndFolderScan(scan);
  bool complete = result == kMissionListWritten;
  if (!FinishReplacement(list, temp_name, name, complete) && complete) {
    return kMissionListNotWritten;
  }
  return result;
}
