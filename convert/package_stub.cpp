// The package stub: the same 90 bytes for every mission, named after the mission.
#include <cstdio>
#include <cstring>

#include "convert/convert.h"
#include "platform/platform.h"

// One entry "tmp.txt" with its stored data, the zlib-packed directory and the
// trailer; the updater reads it as it stands.
// Sixteen bytes a row: offsets 0, 16, 32, 48, 64 and 80.
// clang-format off
const unsigned char kPackageStub[90] = {
    0x3B, 0x48, 0xC0, 0x5B, 0x0C, 0xF2, 0x74, 0x74, 0xF2, 0x71, 0x0D, 0x56, 0x30, 0xE0, 0xE5, 0x72,
    0xF6, 0x70, 0x0C, 0x72, 0x74, 0x0E, 0x71, 0x0D, 0x02, 0xF3, 0x5C, 0xFD, 0x5C, 0x78, 0xB9, 0x00,
    0x81, 0xB7, 0x07, 0x36, 0x78, 0xDA, 0xE3, 0xE5, 0x62, 0x62, 0xB8, 0xD0, 0xE4, 0xAB, 0xA3, 0xC2,
    0xC0, 0xC0, 0xA0, 0xC0, 0x80, 0x00, 0xEC, 0x25, 0xB9, 0x05, 0x7A, 0x25, 0x15, 0x25, 0x0C, 0x03,
    0x04, 0x00, 0xA4, 0x66, 0x05, 0x0F, 0x22, 0x00, 0x00, 0x00, 0x98, 0x00, 0x00, 0x00, 0x05, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};
// clang-format on

int WritePackageStubAside(const char* campaign, const char* mission, FileReplacement** stub) {
  char name[128];
  snprintf(name, sizeof name, "%s%s.kdp", campaign, mission);
  *stub = BeginFileReplacement(name);
  if (!*stub) return 0;
  bool written =
      fwrite(kPackageStub, 1, sizeof kPackageStub, ReplacementStream(*stub)) == sizeof kPackageStub;
  return FinishFileContent(*stub) && written ? 1 : 0;
}

int WritePackageStub(const char* campaign, const char* mission) {
  char message[kMessageSize] = "";
  FileLock* lock = LockMissionFiles(campaign, mission, message);
  if (!lock) {
    ShowErrorMessage(message);
    return 0;
  }
  FileReplacement* stub;
  int written = WritePackageStubAside(campaign, mission, &stub) && TargetIsReplaceable(stub) &&
                PutFileInPlace(stub);
  EndFileReplacement(stub);
  UnlockFiles(lock);
  return written;
}
