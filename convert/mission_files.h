// The mission's two files written completely aside, not yet in place
// (file_replacement.h): the writers under the driver (convert.h). They use the
// platform and nothing of the driver.
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

// "Am01.txt" from the folder "__Am\01\", each name as reader, the program that
// will read the list, reads it; returns a MissionListResult. *list is to be ended
// with EndFileReplacement whatever the result.
int WriteMissionListAside(const char* campaign, const char* mission, const char* reader,
                          FileReplacement** list);
// The 90-byte "Am01.kdp"; 1 when written. *stub as above.
int WritePackageStubAside(const char* campaign, const char* mission, FileReplacement** stub);

extern const unsigned char kPackageStub[90];
