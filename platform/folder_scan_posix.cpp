// Folder enumeration with getdents64. For a Windows updater started through wine the
// names go into the ANSI code page wine gives it, and must come back unchanged.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/folder_scan.h"
#include "platform/path_folder.h"
#include "platform/program_lookup_posix.h"
#include "platform/system_calls.h"
#include "platform/windows_names.h"
#include "platform/wine_code_page_posix.h"

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);
constexpr size_t kNameSize = 512;

}  // namespace

struct FolderScan {
  int folder;
  size_t filled;        // bytes read into entries
  size_t next;          // the next entry's offset among them
  bool windows_reader;  // names go to a Windows program's code page
  iconv_t to_reader;    // names into that code page, and back, to see they survive
  iconv_t from_reader;
  size_t folder_length;  // of "__Am\01\", which the reader puts before each name
  char name[kNameSize];  // the last name as a Windows reader reads it
  char check[kNameSize];
  // Read 64 KiB at a time: readdir's 32 KiB take a large folder twice the calls.
  alignas(dirent64) char entries[65536];
};

FolderScan* BeginFolderScan(const char* pattern, const char* reader) {
  char folder[256];
  size_t folder_length = FolderPartLength(pattern, '\\');
  if (folder_length == 0 || folder_length >= sizeof folder) {
    snprintf(folder, sizeof folder, ".");
  } else {
    memcpy(folder, pattern, folder_length);
    folder[folder_length] = '\0';
    std::replace(folder, folder + folder_length, '\\', '/');
  }
  int opened = SYSTEM_CALL(open)(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (opened < 0) return nullptr;
  FolderScan* scan = static_cast<FolderScan*>(calloc(1, sizeof(FolderScan)));
  if (!scan) {
    SYSTEM_CALL(close)(opened);
    return nullptr;
  }
  scan->folder = opened;
  scan->folder_length = folder_length;
  scan->to_reader = scan->from_reader = kNoConversion;
  // A Windows program run by wine reads the list in its ANSI code page.
  char program[kProgramPathSize];
  bool windows = false;
  scan->windows_reader = FindProgram(reader, true, program, &windows) && windows;
  if (scan->windows_reader) {
    char codeset[64];
    unsigned code_page = WineAnsiCodePage(codeset, sizeof codeset);
    char code_page_name[16];
    snprintf(code_page_name, sizeof code_page_name, code_page == 65001 ? "UTF-8" : "CP%u",
             code_page);
    scan->to_reader = iconv_open(code_page_name, codeset);
    scan->from_reader = iconv_open(codeset, code_page_name);
  }
  return scan;
}

// Converts all of in into out (size bytes with the terminator); false when it
// cannot be done.
static bool Convert(iconv_t conversion, const char* in, char* out, size_t size) {
  if (conversion == kNoConversion) return false;
  iconv(conversion, nullptr, nullptr, nullptr, nullptr);
  char* from = const_cast<char*>(in);
  size_t from_left = strlen(in);
  char* to = out;
  size_t to_left = size - 1;
  if (iconv(conversion, &from, &from_left, &to, &to_left) == static_cast<size_t>(-1) ||
      iconv(conversion, nullptr, nullptr, &to, &to_left) == static_cast<size_t>(-1)) {
    return false;
  }
  *to = '\0';
  return true;
}

static bool IsAscii(const char* name) {
  for (const char* c = name; *c; ++c) {
    if (static_cast<unsigned char>(*c) >= 0x80) return false;
  }
  return true;
}

// Puts name into a Windows reader's code page; false for a name it cannot hold. A
// name must come back unchanged: a look-alike ("\xC2\xA5" as a backslash in code
// page 932) would name another file.
static bool ToWindowsReader(FolderScan* scan, const char* name) {
  if (!WindowsOpensByName(name)) return false;
  bool converted = false;
  if (Convert(scan->to_reader, name, scan->name, sizeof scan->name)) {
    converted = Convert(scan->from_reader, scan->name, scan->check, sizeof scan->check) &&
                strcmp(scan->check, name) == 0;
  } else if (scan->to_reader == kNoConversion && IsAscii(name)) {
    snprintf(scan->name, sizeof scan->name, "%s", name);  // no conversion needed
    converted = true;
  }
  // The reader opens the entry by its path, which must fit the ANSI functions.
  // (A backslash may stand as the second byte of a double-byte letter: that is fine.)
  return converted && scan->folder_length + strlen(scan->name) < 260;
}

FolderStep NextFolderEntry(FolderScan* scan, const char** name) {
  for (;;) {
    if (scan->next >= scan->filled) {
      ssize_t got = SYSTEM_CALL(getdents64)(scan->folder, scan->entries, sizeof scan->entries);
      if (got <= 0) return got == 0 ? kFolderEnd : kFolderError;
      scan->filled = static_cast<size_t>(got);
      scan->next = 0;
    }
    const dirent64* entry = reinterpret_cast<const dirent64*>(scan->entries + scan->next);
    scan->next += entry->d_reclen;
    const char* found = entry->d_name;
    if (found[0] == '.' && (found[1] == '\0' || (found[1] == '.' && found[2] == '\0'))) continue;
    // A line break would add a line to the list; a backslash would read as a
    // separator in the list's backslash paths.
    if (strpbrk(found, "\r\n\\")) return kFolderBadName;
    if (!scan->windows_reader) {
      *name = found;  // a native reader takes the name as it is
      return kFolderEntry;
    }
    if (!ToWindowsReader(scan, found)) return kFolderBadName;
    *name = scan->name;
    return kFolderEntry;
  }
}

void EndFolderScan(FolderScan* scan) {
  SYSTEM_CALL(close)(scan->folder);
  if (scan->to_reader != kNoConversion) iconv_close(scan->to_reader);
  if (scan->from_reader != kNoConversion) iconv_close(scan->from_reader);
  free(scan);
}
