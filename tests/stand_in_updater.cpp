// Stand-in for the game's updater on Windows: keeps copies of the files it was
// handed, opens every file the list names by its ANSI path, records how it was
// started, then waits (at most 10 s) until released. With a file "hold" present it
// keeps both files open meanwhile, as the C runtime's readers do.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// How many of the list's entry lines name a file or folder that can be found.
static void CountFound(const char* list, int* found, int* entries) {
  *found = *entries = 0;
  FILE* file = fopen(list, "rb");
  if (!file) return;
  char line[4 * MAX_PATH];
  fgets(line, sizeof line, file);  // the stub's line
  while (fgets(line, sizeof line, file)) {
    size_t length = strcspn(line, "\r\n");
    // "missions\" + source + "#" + source: the source is the line's last part.
    if (length < 10) continue;
    size_t source_length = (length - 10) / 2;
    line[length] = '\0';
    ++*entries;
    if (GetFileAttributesA(line + length - source_length) != INVALID_FILE_ATTRIBUTES) ++*found;
  }
  fclose(file);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* list = __argc > 1 ? __argv[1] : "";
  char stub[MAX_PATH];
  snprintf(stub, sizeof stub, "%s", list);
  char* extension = strrchr(stub, '.');
  if (extension) strcpy(extension, ".kdp");
  bool hold = GetFileAttributesA("hold") != INVALID_FILE_ATTRIBUTES;
  FILE* held_list = hold ? fopen(list, "r") : nullptr;
  FILE* held_stub = hold ? fopen(stub, "rb") : nullptr;
  CopyFileA(list, "seen.txt", FALSE);
  CopyFileA(stub, "seen.kdp", FALSE);
  int found = 0;
  int entries = 0;
  CountFound(list, &found, &entries);

  FILE* runs = fopen("updater.runs", "ab");
  if (runs) {
    fprintf(runs, "%s\n", list);
    fclose(runs);
  }
  char cwd[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof cwd, cwd);
  STARTUPINFOA startup;
  GetStartupInfoA(&startup);
  FILE* log = fopen("updater.log.tmp", "wb");
  if (log) {
    fprintf(log, "args=%d:%s\n", __argc - 1, list);
    fprintf(log, "cwd=%s\n", cwd);
    fprintf(log, "show=%d\n", (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1);
    fprintf(log, "found=%d/%d\n", found, entries);
    fclose(log);
    MoveFileExA("updater.log.tmp", "updater.log", MOVEFILE_REPLACE_EXISTING);
  }
  for (int i = 0; i < 100 && GetFileAttributesA("release") == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(100);
  }
  if (held_list) fclose(held_list);
  if (held_stub) fclose(held_stub);
  FILE* done = fopen("updater.done", "ab");
  if (done) {
    fprintf(done, "done\n");
    fclose(done);
  }
  return 0;
}
