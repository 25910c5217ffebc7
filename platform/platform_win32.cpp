// Windows implementation of the platform services: the wide find functions with
// names put into the ANSI code page, whole-file replacement, the shell's program
// start and message boxes. No C++ runtime: plain C library and Win32 calls.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/system_calls.h"
#include "platform/windows_names.h"

// The system calls, replaceable by tests (see OverrideSystemCall).
SystemCallEntry system_calls[] = {
    {"FindFirstFileW", reinterpret_cast<SystemCall>(FindFirstFileW), nullptr},
    {"FindNextFileW", reinterpret_cast<SystemCall>(FindNextFileW), nullptr},
    {"FindClose", reinterpret_cast<SystemCall>(FindClose), nullptr},
    {"MoveFileExA", reinterpret_cast<SystemCall>(MoveFileExA), nullptr},
    {"fclose", reinterpret_cast<SystemCall>(fclose), nullptr},
};

const size_t kSystemCallCount = sizeof system_calls / sizeof system_calls[0];

namespace {

enum { kFindFirstFileW, kFindNextFileW, kFindClose, kMoveFileExA, kFclose };

BOOL Move(const char* source, const char* target) {
  return CallOf<BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD)>(kMoveFileExA)(source, target,
                                                                    MOVEFILE_REPLACE_EXISTING);
}

bool Exists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

// Folder enumeration.
struct FolderScan {
  HANDLE find;
  WIN32_FIND_DATAW data;
  bool first_pending;       // FindFirstFileW's entry has not been returned yet
  int folder_length;        // of the pattern's folder part, with its backslash
  char name[2 * MAX_PATH];  // the last name in the ANSI code page
};

// The reader is a Windows program here: it reads names in the ANSI code page.
FolderScan* BeginFolderScan(const char* pattern, const char*) {
  wchar_t wide_pattern[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, pattern, -1, wide_pattern, MAX_PATH)) return nullptr;
  FolderScan* scan = static_cast<FolderScan*>(calloc(1, sizeof(FolderScan)));
  if (!scan) return nullptr;
  scan->find = CallOf<HANDLE(WINAPI*)(LPCWSTR, LPWIN32_FIND_DATAW)>(kFindFirstFileW)(wide_pattern,
                                                                                     &scan->data);
  if (scan->find == INVALID_HANDLE_VALUE) {
    free(scan);
    return nullptr;
  }
  scan->first_pending = true;
  const char* slash = strrchr(pattern, '\\');
  scan->folder_length = slash ? static_cast<int>(slash - pattern) + 1 : 0;
  return scan;
}

// The name exactly as the ANSI functions would give it, or false when the code page
// lacks one of its letters: those give "?" or a look-alike ("å" as "a"), which would
// name another file or none.
static bool ToAnsi(FolderScan* scan) {
  bool utf8 = GetACP() == CP_UTF8;  // takes neither the flag nor the question
  BOOL used_default = FALSE;
  int length = WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                   scan->data.cFileName, -1, scan->name, sizeof scan->name, nullptr,
                                   utf8 ? nullptr : &used_default);
  // The updater opens the entry by its path, which must fit the ANSI functions.
  return length > 0 && !used_default && scan->folder_length + length <= MAX_PATH;
}

FolderStep NextFolderEntry(FolderScan* scan, const char** name) {
  for (;;) {
    if (scan->first_pending) {
      scan->first_pending = false;
    } else if (!CallOf<BOOL(WINAPI*)(HANDLE, LPWIN32_FIND_DATAW)>(kFindNextFileW)(scan->find,
                                                                                  &scan->data)) {
      return GetLastError() == ERROR_NO_MORE_FILES ? kFolderEnd : kFolderError;
    }
    const wchar_t* found = scan->data.cFileName;
    if (wcscmp(found, L".") == 0 || wcscmp(found, L"..") == 0) continue;
    // A name from another file system (under Wine, a Linux one) may hold what a
    // Windows name cannot: a line break, a backslash.
    if (!WindowsOpensByName(found) || !ToAnsi(scan)) return kFolderBadName;
    *name = scan->name;
    return kFolderEntry;
  }
}

void EndFolderScan(FolderScan* scan) {
  CallOf<BOOL(WINAPI*)(HANDLE)>(kFindClose)(scan->find);
  free(scan);
}

// Writes the whole file source over the open file target, from its start.
static bool CopyInto(const char* source, HANDLE target) {
  FILE* content = fopen(source, "rb");
  if (!content) return false;
  LARGE_INTEGER start = {};
  bool ok = SetFilePointerEx(target, start, nullptr, FILE_BEGIN) != 0;
  static char buffer[16384];
  size_t got;
  while (ok && (got = fread(buffer, 1, sizeof buffer, content)) > 0) {
    DWORD written = 0;
    ok = WriteFile(target, buffer, static_cast<DWORD>(got), &written, nullptr) && written == got;
  }
  ok = ok && !ferror(content);
  fclose(content);
  return SetEndOfFile(target) && ok;
}

// Writes what the open file source holds into a new file named copy.
static bool CopyOut(HANDLE source, const char* copy) {
  FILE* out = fopen(copy, "wb");
  if (!out) return false;
  LARGE_INTEGER start = {};
  bool ok = SetFilePointerEx(source, start, nullptr, FILE_BEGIN) != 0;
  static char buffer[16384];
  DWORD got = 0;
  while (ok && ReadFile(source, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    ok = fwrite(buffer, 1, got, out) == got;
  }
  ok = fclose(out) == 0 && ok;
  return ok;
}

static HANDLE OpenBesideReaders(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Writes the file source into the existing file target, beside its readers.
static bool WriteInto(const char* source, const char* target) {
  HANDLE held = OpenBesideReaders(target);
  if (held == INVALID_HANDLE_VALUE) return false;
  bool written = CopyInto(source, held);
  return CloseHandle(held) && written;
}

// A converter killed while putting files in place left the old content aside: after
// a kill between the two moves the target is missing, after one amid writing in
// place it is torn. Either way the old content goes back before anything else.
static void PutBackKeptFile(const char* kept, const char* target) {
  // Moved back, or written into the target where a reader still holds it.
  if (!Move(kept, target) && WriteInto(kept, target)) DeleteFileA(kept);
}

// Whole-file replacement. The new content is "Am01.txt.kdc-new" and the old one is
// kept as "Am01.txt.kdc-old" while both files are put in place: fixed names, so a
// converter killed midway leaves at most these, and the next conversion clears them.
int BeginFileReplacement(FileReplacement* file, const char* target) {
  memset(file, 0, sizeof *file);
  char temp[kPathSize];
  char kept[kPathSize];
  if (snprintf(temp, sizeof temp, "%s.kdc-new", target) >= static_cast<int>(sizeof temp)) return 0;
  snprintf(kept, sizeof kept, "%s.kdc-old", target);
  snprintf(file->target, sizeof file->target, "%s", target);

  DeleteFileA(temp);
  if (Exists(kept)) PutBackKeptFile(kept, target);
  memcpy(file->temp, temp, sizeof temp);
  file->stream = fopen(temp, "wb");
  if (!file->stream) {
    file->temp[0] = '\0';
    EndFileReplacement(file);
    return 0;
  }
  return 1;
}

int FinishFileContent(FileReplacement* file) {
  bool ok = fflush(file->stream) == 0 && ferror(file->stream) == 0;
  ok = CallOf<int (*)(FILE*)>(kFclose)(file->stream) == 0 && ok;
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

// The target is held open by a reader that does not let it be moved: the content
// goes into the file itself, which such a reader allows. A copy of the old content
// is kept first, so that a failed write (a full disk) or a later failure of the
// other file can put it back.
static int WriteIntoTarget(FileReplacement* file) {
  // Read and written through one handle of our own, which the reader's sharing
  // allows; a second one, as copying the file by name would open, might not be.
  HANDLE target = OpenBesideReaders(file->target);
  if (target == INVALID_HANDLE_VALUE) return 0;
  snprintf(file->kept, sizeof file->kept, "%s.kdc-old", file->target);
  if (!CopyOut(target, file->kept)) {
    DeleteFileA(file->kept);
    file->kept[0] = '\0';
    CloseHandle(target);
    return 0;
  }
  file->in_place = true;
  bool ok = CopyInto(file->temp, target);
  if (!ok && !CopyInto(file->kept, target)) file->kept[0] = '\0';
  ok = CloseHandle(target) && ok;
  return ok ? 1 : 0;
}

int PutFileInPlace(FileReplacement* file) {
  if (file->temp[0] == '\0') return 0;
  DWORD attributes = GetFileAttributesA(file->target);
  file->created = attributes == INVALID_FILE_ATTRIBUTES;
  if (!file->created) {
    // A hidden or system file stays so.
    const DWORD kept_attributes =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (attributes & kept_attributes) {
      SetFileAttributesA(file->temp, attributes & (kept_attributes | FILE_ATTRIBUTE_ARCHIVE));
    }
    snprintf(file->kept, sizeof file->kept, "%s.kdc-old", file->target);
    if (!Move(file->target, file->kept)) {
      DWORD error = GetLastError();
      file->kept[0] = '\0';
      if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return 0;
      return WriteIntoTarget(file);
    }
  }
  if (!Move(file->temp, file->target)) {
    if (file->kept[0] && Move(file->kept, file->target)) file->kept[0] = '\0';
    return 0;
  }
  file->temp[0] = '\0';
  return 1;
}

void RestorePreviousFile(FileReplacement* file) {
  // Where the old content cannot be put back, its copy is left under its own name.
  if (file->in_place) {
    if (!WriteInto(file->kept, file->target)) file->kept[0] = '\0';
  } else if (file->kept[0]) {
    Move(file->kept, file->target);
    file->kept[0] = '\0';
  } else if (file->created) {
    DeleteFileA(file->target);
  }
}

void EndFileReplacement(FileReplacement* file) {
  if (file->target[0] == '\0') return;  // never begun, or ended already
  if (file->stream) CallOf<int (*)(FILE*)>(kFclose)(file->stream);
  file->stream = nullptr;
  if (file->temp[0]) DeleteFileA(file->temp);
  // An old file that could not be put back stays for the next conversion to restore.
  if (file->kept[0] && Exists(file->target)) DeleteFileA(file->kept);
  file->temp[0] = file->kept[0] = file->target[0] = '\0';
}

// A window program has no signals that end it midway.
void HoldInterruptions() {}
void ReleaseInterruptions() {}

void ShowMessageBox(const char* text) {
  bool ascii = true;
  for (const char* c = text; *c; ++c) ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
  if (ascii) {
    MessageBoxA(NULL, text, "Chyba", MB_OK);
    return;
  }
  // Czech letters show right on any code page only through the wide variant.
  wchar_t wide[256];
  if (!MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 256)) wide[0] = L'\0';
  MessageBoxW(NULL, wide, L"Chyba", MB_OK);
}

void StartProgramHidden(const char* program, const char* parameter) {
  ShellExecuteA(NULL, "open", program, parameter, NULL, SW_HIDE);
}
