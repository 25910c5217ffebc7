// Folder enumeration with the wide find functions, the names put into the ANSI code
// page in which the updater, a Windows program, opens them.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "platform/folder_scan.h"
#include "platform/path_folder.h"
#include "platform/system_calls.h"
#include "platform/windows_names.h"

struct FolderScan {
  HANDLE find;
  WIN32_FIND_DATAW data;
  bool first_pending;       // FindFirstFileW's entry has not been returned yet
  DWORD full_folder;        // UTF-16 units of the folder's full path, with its backslash
  char name[2 * MAX_PATH];  // the last name in the ANSI code page
};

// The reader is a Windows program here: it reads names in the ANSI code page.
FolderScan* BeginFolderScan(const char* pattern, const char*) {
  wchar_t wide_pattern[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, pattern, -1, wide_pattern, MAX_PATH)) return nullptr;
  // The updater opens each entry by a path relative to the working folder, which
  // Windows makes full before it counts it against MAX_PATH.
  wchar_t folder[MAX_PATH] = L".\\";
  int folder_length = static_cast<int>(FolderPartLength(pattern, '\\'));
  if (folder_length > 0) {
    int wide_length = MultiByteToWideChar(CP_ACP, 0, pattern, folder_length, folder, MAX_PATH - 1);
    if (wide_length == 0) return nullptr;
    folder[wide_length] = L'\0';
  }
  wchar_t full[MAX_PATH];
  DWORD full_folder = GetFullPathNameW(folder, MAX_PATH, full, nullptr);
  if (full_folder == 0) return nullptr;
  FolderScan* scan = static_cast<FolderScan*>(calloc(1, sizeof(FolderScan)));
  if (!scan) return nullptr;
  scan->find = SYSTEM_CALL(FindFirstFileW)(wide_pattern, &scan->data);
  if (scan->find == INVALID_HANDLE_VALUE) {
    free(scan);
    return nullptr;
  }
  scan->first_pending = true;
  // Too long for the buffer, the count holds the size it needed: more than any
  // path that fits.
  scan->full_folder = full_folder;
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
  return length > 0 && !used_default;
}

// Without long paths, Windows opens no path of MAX_PATH units or more.
static bool FitsFullPath(const FolderScan* scan) {
  return scan->full_folder + wcslen(scan->data.cFileName) + 1 <= MAX_PATH;
}

FolderStep NextFolderEntry(FolderScan* scan, const char** name) {
  for (;;) {
    if (scan->first_pending) {
      scan->first_pending = false;
    } else if (!SYSTEM_CALL(FindNextFileW)(scan->find, &scan->data)) {
      return GetLastError() == ERROR_NO_MORE_FILES ? kFolderEnd : kFolderError;
    }
    const wchar_t* found = scan->data.cFileName;
    if (wcscmp(found, L".") == 0 || wcscmp(found, L"..") == 0) continue;
    // A name from another file system (under Wine, a Linux one) may hold what a
    // Windows name cannot: a line break, a backslash.
    if (!WindowsOpensByName(found) || !FitsFullPath(scan) || !ToAnsi(scan)) return kFolderBadName;
    *name = scan->name;
    return kFolderEntry;
  }
}

void EndFolderScan(FolderScan* scan) {
  SYSTEM_CALL(FindClose)(scan->find);
  free(scan);
}
