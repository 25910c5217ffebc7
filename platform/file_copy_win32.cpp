// Copying a file's content on Windows, whole or not at all.
#include "platform/file_copy_win32.h"

#include "platform/system_calls.h"

BOOL Move(const char* from, const char* to, DWORD flags) {
  return SYSTEM_CALL(MoveFileExA)(from, to, flags);
}

bool HeldOpen(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

HANDLE OpenBesideReaders(const char* name, DWORD access) {
  return CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenToRead(const char* name) {
  return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE to, const char* bytes, DWORD size) {
  DWORD written = 0;
  return WriteFile(to, bytes, size, &written, nullptr) && written == size;
}

bool CopyContent(HANDLE from, HANDLE to, unsigned long long* hash) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(from, start, nullptr, FILE_BEGIN)) return false;
  static char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!SYSTEM_CALL(ReadFile)(from, buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    if (hash) HashBytes(hash, buffer, got);
    if (to && !WriteAll(to, buffer, got)) return false;
  }
}

bool WriteContentInto(const char* source, HANDLE target) {
  HANDLE from = OpenToRead(source);
  if (from == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER start = {};
  bool ok = SetFilePointerEx(target, start, nullptr, FILE_BEGIN) &&
            CopyContent(from, target, nullptr) && SetEndOfFile(target);
  CloseHandle(from);
  return ok;
}

bool WriteInto(const char* source, const char* target) {
  HANDLE held = OpenBesideReaders(target, GENERIC_WRITE);
  if (held == INVALID_HANDLE_VALUE) return false;
  bool written = WriteContentInto(source, held);
  return CloseHandle(held) && written;
}

bool ContentHashesTo(const char* name, unsigned long long hash) {
  HANDLE file = OpenToRead(name);
  if (file == INVALID_HANDLE_VALUE) return false;
  unsigned long long content = kHashStart;
  bool read = CopyContent(file, nullptr, &content);
  CloseHandle(file);
  return read && content == hash;
}
