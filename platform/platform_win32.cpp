// Windows implementation of the platform services: the ANSI find functions, the
// shell's program start and message boxes.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstring>
#include <new>

#include "platform/platform.h"

struct FolderScan {
  HANDLE find;
  WIN32_FIND_DATAA data;
  bool first_pending;     // FindFirstFileA's entry has not been returned yet
  char folder[MAX_PATH];  // the pattern's folder part, with its backslash
};

FolderScan* BeginFolderScan(const char* pattern) {
  FolderScan* scan = new (std::nothrow) FolderScan();
  if (!scan) return nullptr;
  scan->find = FindFirstFileA(pattern, &scan->data);
  if (scan->find == INVALID_HANDLE_VALUE) {
    delete scan;
    return nullptr;
  }
  scan->first_pending = true;
  const char* slash = strrchr(pattern, '\\');
  size_t length = slash ? static_cast<size_t>(slash - pattern) + 1 : 0;
  if (length >= sizeof scan->folder) length = 0;
  memcpy(scan->folder, pattern, length);
  scan->folder[length] = '\0';
  return scan;
}

// The ANSI functions hand out a name the code page cannot hold with "?" or a
// look-alike letter in it; such a name no longer leads to the entry.
static bool NameStillResolves(const FolderScan* scan) {
  char path[MAX_PATH];
  int length = snprintf(path, sizeof path, "%s%s", scan->folder, scan->data.cFileName);
  if (length < 0 || length >= static_cast<int>(sizeof path)) return false;
  if (strchr(scan->data.cFileName, '?')) return false;
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

FolderStep NextFolderEntry(FolderScan* scan, const char** name) {
  for (;;) {
    if (scan->first_pending) {
      scan->first_pending = false;
    } else if (!FindNextFileA(scan->find, &scan->data)) {
      return GetLastError() == ERROR_NO_MORE_FILES ? kFolderEnd : kFolderError;
    }
    const char* found = scan->data.cFileName;
    if (strcmp(found, ".") == 0 || strcmp(found, "..") == 0) continue;
    if (!NameStillResolves(scan)) return kFolderBadName;
    *name = found;
    return kFolderEntry;
  }
}

void EndFolderScan(FolderScan* scan) {
  FindClose(scan->find);
  delete scan;
}

FILE* CreateTemporaryFile(char* temp_name) {
  static_assert(kTempNameSize >= MAX_PATH, "GetTempFileNameA writes up to MAX_PATH");
  if (!GetTempFileNameA(".", "kdc", 0, temp_name)) return nullptr;
  FILE* file = fopen(temp_name, "wb");
  if (!file) DeleteFileA(temp_name);
  return file;
}

int MoveFileOver(const char* source, const char* target) {
  return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING) ? 1 : 0;
}

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
