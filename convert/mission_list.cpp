// The mission list file: a line naming the stub, then one line per entry of the
// mission folder pairing its place under "missions\" with its place on disk.
#include <cstdio>
#include <cstring>

#include "convert/mission_files.h"

static char* Put(char* at, const char* bytes, size_t size) {
  memcpy(at, bytes, size);
  return at + size;
}

// Streams the folder's entries into the list; the names are never held together,
// so a folder of any size costs the same memory.
static int WriteEntries(FolderScan* scan, FILE* list, const char* campaign, const char* mission) {
  // The file is binary and ends its lines itself, so the bytes are the same on
  // every platform.
  if (fprintf(list, " %s%s.kdp\r\n", campaign, mission) < 0) return kMissionListNotWritten;
  // Each line is "missions\__Am\01\NAME#__Am\01\NAME\r\n", put together from its
  // parts. A large folder spends its time here: the lines are gathered and written
  // 64 KiB at a time, as a write call (and the stream's lock) per line cost more
  // than the bytes.
  char place[80];
  int place_length = snprintf(place, sizeof place, "__%s\\%s\\", campaign, mission);
  if (place_length < 0 || static_cast<size_t>(place_length) >= sizeof place) {
    return kMissionListNotWritten;
  }
  const char kHead[] = "missions\\";
  constexpr size_t kLongestName = 1024;  // no platform's folder gives a longer one
  constexpr size_t kLongestLine = 2 * kLongestName + 2 * sizeof place + sizeof kHead;
  char gathered[65536];
  static_assert(sizeof gathered >= kLongestLine, "a line fits");
  size_t used = 0;
  for (;;) {
    const char* entry;
    switch (NextFolderEntry(scan, &entry)) {
      case kFolderEntry:
        break;
      case kFolderEnd:
        return fwrite(gathered, 1, used, list) == used ? kMissionListWritten
                                                       : kMissionListNotWritten;
      case kFolderError:
        return kMissionFolderUnreadable;
      case kFolderBadName:
        return kMissionEntryNameInvalid;
    }
    size_t length = strlen(entry);
    if (length > kLongestName) return kMissionEntryNameInvalid;
    if (used + kLongestLine > sizeof gathered) {
      if (fwrite(gathered, 1, used, list) != used) return kMissionListNotWritten;
      used = 0;
    }
    char* end = Put(gathered + used, kHead, sizeof kHead - 1);
    end = Put(end, place, static_cast<size_t>(place_length));
    end = Put(end, entry, length);
    end = Put(end, "#", 1);
    end = Put(end, place, static_cast<size_t>(place_length));
    end = Put(end, entry, length);
    end = Put(end, "\r\n", 2);
    used = static_cast<size_t>(end - gathered);
  }
}

int WriteMissionListAside(const char* campaign, const char* mission, const char* reader,
                          FileReplacement** list) {
  *list = nullptr;
  char name[256];
  snprintf(name, sizeof name, "__%s\\%s\\*.*", campaign, mission);
  FolderScan* scan = BeginFolderScan(name, reader);
  if (!scan) return kMissionFolderMissing;

  snprintf(name, sizeof name, "%s%s.txt", campaign, mission);
  int result = kMissionListNotWritten;
  *list = BeginFileReplacement(name);
  if (*list) result = WriteEntries(scan, ReplacementStream(*list), campaign, mission);
  EndFolderScan(scan);
  if (result == kMissionListWritten && !FinishFileContent(*list)) result = kMissionListNotWritten;
  return result;
}
