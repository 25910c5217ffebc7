// Whole-file replacement on Windows. The new content is written as
// "Am01.txt.kdc-new" and moved over the target; where a reader holds the target, it
// is written into the file itself. The target is never moved aside: its old content
// is kept as a copy, "Am01.txt.kdc-old-<hash>", until both files are in place.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file_copy_win32.h"
#include "platform/file_replacement.h"
#include "platform/file_replacement_steps.h"
#include "platform/path_folder.h"
#include "platform/system_calls.h"

namespace {

constexpr size_t kPathSize = 512;
const char kNewSuffix[] = ".kdc-new";
const char kPartSuffix[] = ".kdc-part";
const char kOldSuffix[] = ".kdc-old-";
// A mark that there was no target, so that a kill between the two files is undone.
const char kNoneSuffix[] = ".kdc-none";
const char kNoneMark[] = "korvidane-convert: no such file before\r\n";
constexpr size_t kHashDigits = 16;

}  // namespace

struct FileReplacement {
  FILE* stream;            // the new content, while it is written
  char target[kPathSize];  // a bare name in the working directory
  char temp[kPathSize];    // the new content's name while it is not in place
  char kept[kPathSize];    // the old content's copy while it may be put back
  bool created;            // there was no target before: kept is the mark of that
  bool in_place;           // the new content went into the target itself
  bool keep_old;           // the old content could not be put back: its copy stays
  bool placed;             // the new content is in the target
};

namespace {

bool Named(char* name, const char* target, const char* suffix) {
  int length = snprintf(name, kPathSize, "%s%s", target, suffix);
  return length >= 0 && static_cast<size_t>(length) < kPathSize;
}

bool KeptName(char* name, const char* target, unsigned long long hash) {
  int length = snprintf(name, kPathSize, "%s%s%08lx%08lx", target, kOldSuffix,
                        static_cast<unsigned long>(hash >> 32),
                        static_cast<unsigned long>(hash & 0xffffffffUL));
  return length >= 0 && static_cast<size_t>(length) < kPathSize;
}

// The hash a kept copy's name ends in; false for a name we never give.
bool HashInName(const char* digits, unsigned long long* hash) {
  *hash = 0;
  size_t count = 0;
  for (; digits[count]; ++count) {
    char c = digits[count];
    int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (value < 0 || count >= kHashDigits) return false;
    *hash = *hash << 4 | static_cast<unsigned>(value);
  }
  return count == kHashDigits;
}

bool KeepCopy(HANDLE source, const char* target, DWORD attributes, char* kept) {
  char part[kPathSize];
  if (!Named(part, target, kPartSuffix)) return false;
  HANDLE copy = CreateFileA(part, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (copy == INVALID_HANDLE_VALUE) return false;
  unsigned long long hash = kHashStart;
  bool ok = CopyContent(source, copy, &hash);
  ok = CloseHandle(copy) && ok;
  ok = ok && KeptName(kept, target, hash) && Move(part, kept, 0);
  if (!ok) {
    DeleteFileA(part);
    kept[0] = '\0';
  }
  return ok;
}

bool IsNoneMark(const char* name) {
  HANDLE file = OpenToRead(name);
  if (file == INVALID_HANDLE_VALUE) return false;
  char content[sizeof kNoneMark + 1];
  DWORD got = 0;
  bool mark = ReadFile(file, content, sizeof content, &got, nullptr) &&
              got == sizeof kNoneMark - 1 && memcmp(content, kNoneMark, got) == 0;
  CloseHandle(file);
  return mark;
}

bool MakeNoneMark(const char* name) {
  HANDLE file =
      CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool written = WriteAll(file, kNoneMark, sizeof kNoneMark - 1);
  if (CloseHandle(file) && written) return true;
  DeleteFileA(name);
  return false;
}

// A copy or mark that a conversion which worked could not remove (another program
// held it) is passed over by a note beside it, "NAME.done": else the next
// conversion would undo the one whose updater started. Passed over, it goes as
// soon as it can.
const char kDoneSuffix[] = ".done";

struct Note {
  char name[kPathSize + sizeof kDoneSuffix];
};

Note NoteOf(const char* name) {
  Note note;
  snprintf(note.name, sizeof note.name, "%s%s", name, kDoneSuffix);
  return note;
}

void PassOver(const char* name) {
  HANDLE file = CreateFileA(NoteOf(name).name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

bool PassedOver(const char* name) {
  Note note = NoteOf(name);
  if (GetFileAttributesA(note.name) == INVALID_FILE_ATTRIBUTES) return false;
  if (DeleteFileA(name)) DeleteFileA(note.name);
  return true;
}

// Gives target the old content a killed converter kept as kept: moved back, or
// written into the target where a reader holds it.
void PutBackKeptCopy(const char* kept, const char* target) {
  if (Move(kept, target, MOVEFILE_REPLACE_EXISTING)) return;
  if (HeldOpen(GetLastError()) && WriteInto(kept, target)) DeleteFileA(kept);
}

}  // namespace

void RecoverLeftovers(const char* target) {
  // Temporaries are never put in place: a plain file of their name goes, a folder
  // stays (and the conversion then fails).
  char name[kPathSize];
  const char* const temporaries[] = {kNewSuffix, kPartSuffix};
  for (const char* suffix : temporaries) {
    if (!Named(name, target, suffix)) return;
    DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteFileA(name);
    }
  }
  // A mark of ours says there was no target: a killed converter's new one goes.
  if (!Named(name, target, kNoneSuffix)) return;
  if (IsNoneMark(name) && !PassedOver(name) &&
      (DeleteFileA(target) || GetLastError() == ERROR_FILE_NOT_FOUND)) {
    DeleteFileA(name);
  }
  // A kept copy goes back only when its content hashes to its name; anything else of
  // a like name is the user's, and is left as it is.
  char pattern[kPathSize];
  if (!Named(pattern, target, ".kdc-old-*")) return;
  size_t folder_length = FolderPartLength(target, '\\');
  size_t base_length = strlen(target + folder_length);
  size_t prefix_length = base_length + strlen(kOldSuffix);
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    unsigned long long hash = 0;
    bool plain =
        !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    if (!plain || strlen(found.cFileName) <= prefix_length ||
        _strnicmp(found.cFileName, target + folder_length, base_length) != 0 ||
        !HashInName(found.cFileName + prefix_length, &hash)) {
      continue;
    }
    char kept[2 * kPathSize];
    snprintf(kept, sizeof kept, "%.*s%s", static_cast<int>(folder_length), target, found.cFileName);
    if (!PassedOver(kept) && ContentHashesTo(kept, hash)) PutBackKeptCopy(kept, target);
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

FileReplacement* BeginFileReplacement(const char* target) {
  FileReplacement* file = static_cast<FileReplacement*>(calloc(1, sizeof(FileReplacement)));
  if (!file) return nullptr;
  char longest[kPathSize];
  if (!Named(file->target, target, "") || !Named(file->temp, target, kNewSuffix) ||
      !KeptName(longest, target, 0)) {
    free(file);
    return nullptr;
  }
  // Under the lock, recovery has removed any file of this name.
  file->stream = fopen(file->temp, "wb");
  if (!file->stream) {
    file->temp[0] = '\0';
    EndFileReplacement(file);
    return nullptr;
  }
  return file;
}

FILE* ReplacementStream(FileReplacement* file) { return file->stream; }

int FinishFileContent(FileReplacement* file) {
  bool ok = fflush(file->stream) == 0 && ferror(file->stream) == 0;
  ok = SYSTEM_CALL(fclose)(file->stream) == 0 && ok;
  file->stream = nullptr;
  return ok ? 1 : 0;
}

int TargetIsReplaceable(const FileReplacement* file) {
  DWORD attributes = GetFileAttributesA(file->target);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
  }
  // Windows refuses to replace a read-only file; Wine does not, so we check it.
  return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ? 0 : 1;
}

// The targets are bare names in the working directory, which Windows compares
// without regard to case.
int SameTarget(const FileReplacement* one, const FileReplacement* other) {
  return lstrcmpiA(one->target, other->target) == 0 ? 1 : 0;
}

// A reader holds the target without letting it be replaced (an updater still
// running): the content goes into the file itself, which such a reader allows. The
// old content's copy is kept already, for a failed write (a full disk) or a later
// failure of the other file.
static int WriteIntoTarget(FileReplacement* file) {
  HANDLE target = OpenBesideReaders(file->target, GENERIC_WRITE);
  if (target == INVALID_HANDLE_VALUE) return 0;
  file->in_place = true;
  bool ok = WriteContentInto(file->temp, target);
  ok = CloseHandle(target) && ok;
  if (!ok && !WriteInto(file->kept, file->target)) file->keep_old = true;
  return ok ? 1 : 0;
}

int PrepareFilePlacement(FileReplacement* file) {
  if (file->temp[0] == '\0') return 0;
  DWORD attributes = GetFileAttributesA(file->target);
  file->created = attributes == INVALID_FILE_ATTRIBUTES;
  if (file->created) {
    if (Named(file->kept, file->target, kNoneSuffix) && MakeNoneMark(file->kept)) return 1;
    file->kept[0] = '\0';
    return 0;
  }
  // A hidden or system file stays so, and so does its copy.
  const DWORD carried =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD kept_attributes =
      (attributes & carried) ? attributes & (carried | FILE_ATTRIBUTE_ARCHIVE) : 0;
  if (kept_attributes) SetFileAttributesA(file->temp, kept_attributes);
  HANDLE old = OpenBesideReaders(file->target, GENERIC_READ);
  if (old == INVALID_HANDLE_VALUE) return 0;
  bool kept = KeepCopy(old, file->target, kept_attributes, file->kept);
  CloseHandle(old);  // a file held open by us could not be replaced
  return kept ? 1 : 0;
}

int PutFileInPlace(FileReplacement* file) {
  // A link is replaced, not followed: moved over a link, the new file takes the
  // link's place and the file it names stays as it was.
  if (Move(file->temp, file->target, MOVEFILE_REPLACE_EXISTING)) {
    file->temp[0] = '\0';
    file->placed = true;
    return 1;
  }
  file->placed = !file->created && HeldOpen(GetLastError()) && WriteIntoTarget(file);
  return file->placed ? 1 : 0;
}

int RestorePreviousFile(FileReplacement* file) {
  file->placed = false;
  if (file->created) {
    if (DeleteFileA(file->target) || GetLastError() == ERROR_FILE_NOT_FOUND) return 1;
  } else if (file->in_place) {
    if (WriteInto(file->kept, file->target)) return 1;
  } else {
    if (Move(file->kept, file->target, MOVEFILE_REPLACE_EXISTING)) {
      file->kept[0] = '\0';
      return 1;
    }
    // A reader has opened the new file meanwhile: the old content goes into it.
    if (HeldOpen(GetLastError()) && WriteInto(file->kept, file->target)) return 1;
  }
  // Where it cannot be put back, the only old content left keeps its name.
  file->keep_old = true;
  return 0;
}

void EndFileReplacement(FileReplacement* file) {
  if (!file) return;
  if (file->stream) SYSTEM_CALL(fclose)(file->stream);
  if (file->temp[0]) DeleteFileA(file->temp);
  if (file->kept[0] && !file->keep_old && !DeleteFileA(file->kept)) PassOver(file->kept);
  // A mark the repair could not act on (the list was held) would undo this
  // conversion later, once it is in place.
  char mark[kPathSize];
  if (file->placed && !file->created && Named(mark, file->target, kNoneSuffix) &&
      IsNoneMark(mark) && !DeleteFileA(mark)) {
    PassOver(mark);
  }
  free(file);
}

// A window program has no signals that end it midway.
void HoldInterruptions() {}
void ReleaseInterruptions() {}
