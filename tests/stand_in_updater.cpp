// Stand-in for the game's updater on Windows: keeps copies of the files it was
// handed, records how it was started, then waits (at most 10 s) until released.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* list = __argc > 1 ? __argv[1] : "";
  char stub[MAX_PATH];
  snprintf(stub, sizeof stub, "%s", list);
  char* extension = strrchr(stub, '.');
  if (extension) strcpy(extension, ".kdp");
  CopyFileA(list, "seen.txt", FALSE);
  CopyFileA(stub, "seen.kdp", FALSE);

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
    fclose(log);
    MoveFileExA("updater.log.tmp", "updater.log", MOVEFILE_REPLACE_EXISTING);
  }
  for (int i = 0; i < 100 && GetFileAttributesA("release") == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(100);
  }
  FILE* done = fopen("updater.done", "ab");
  if (done) {
    fprintf(done, "done\n");
    fclose(done);
  }
  return 0;
}
