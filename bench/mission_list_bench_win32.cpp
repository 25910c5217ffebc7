// Speed of writing the mission list on Windows (run under Wine here), against the
// plainest loop that writes the same lines with the ANSI find functions; and the
// peak memory of a whole process that writes one list.
//   mission_list_bench_win32            both sizes, both figures
//   mission_list_bench_win32 --memory FOLDER   one list in FOLDER, then the peaks
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "convert/convert.h"

static double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

static void PlainFindLoop() {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("__Am\\01\\*.*", &entry);
  FILE* list = fopen("Am01.txt", "wb");
  fprintf(list, " %s%s.kdp\r\n", "Am", "01");
  do {
    if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
    fprintf(list, "missions\\__%s\\%s\\%s#__%s\\%s\\%s\r\n", "Am", "01", entry.cFileName, "Am",
            "01", entry.cFileName);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  fclose(list);
}

static void WriteListOnce() {
  if (WriteMissionList("Am", "01") != kMissionListWritten) {
    fprintf(stderr, "list not written\n");
    ExitProcess(1);
  }
}

static void MakeGameFolder(const char* folder, int entries) {
  char path[MAX_PATH];
  CreateDirectoryA(folder, nullptr);
  snprintf(path, sizeof path, "%s\\__Am", folder);
  CreateDirectoryA(path, nullptr);
  snprintf(path, sizeof path, "%s\\__Am\\01", folder);
  CreateDirectoryA(path, nullptr);
  for (int i = 0; i < entries; ++i) {
    snprintf(path, sizeof path, "%s\\__Am\\01\\mission-part-%06d.dat", folder, i);
    CloseHandle(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
}

static void RemoveGameFolder(const char* folder) {
  char command[MAX_PATH + 32];
  snprintf(command, sizeof command, "cmd /c rmdir /s /q \"%s\"", folder);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}

// A fresh process writes one list, so its peaks are the list writer's and the
// runtime's, nothing of the timing runs.
static void MeasureMemory(const char* self, const char* folder, int entries) {
  char command[2 * MAX_PATH + 32];
  snprintf(command, sizeof command, "\"%s\" --memory \"%s\"", self, folder);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  printf("%6d entries: ", entries);
  fflush(stdout);
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    printf("could not start the memory run\n");
    return;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--memory") == 0) {
    SetCurrentDirectoryA(argv[2]);
    WriteListOnce();
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    printf("peak working set %zu KiB, peak private bytes %zu KiB (whole process)\n",
           counters.PeakWorkingSetSize / 1024, counters.PeakPagefileUsage / 1024);
    return 0;
  }
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  const int sizes[] = {1000, 100000};
  char folders[2][MAX_PATH];
  for (int s = 0; s < 2; ++s) {
    snprintf(folders[s], MAX_PATH, "%skorvidane-bench-%lu-%d", temp, GetCurrentProcessId(),
             sizes[s]);
    MakeGameFolder(folders[s], sizes[s]);
    SetCurrentDirectoryA(folders[s]);
    // Alternating rounds, so that noise falls on both alike; medians.
    const int kRounds = sizes[s] > 10000 ? 7 : 51;
    double ours[51];
    double plain[51];
    WriteListOnce();
    PlainFindLoop();
    for (int round = 0; round < kRounds; ++round) {
      LARGE_INTEGER start, middle, end;
      QueryPerformanceCounter(&start);
      WriteListOnce();
      QueryPerformanceCounter(&middle);
      PlainFindLoop();
      QueryPerformanceCounter(&end);
      ours[round] = Milliseconds(start, middle);
      plain[round] = Milliseconds(middle, end);
    }
    std::sort(ours, ours + kRounds);
    std::sort(plain, plain + kRounds);
    double a = ours[kRounds / 2];
    double b = plain[kRounds / 2];
    printf("%6d entries: WriteMissionList %.2f ms; plain FindFirstFileA loop %.2f ms (ratio %.2f)\n",
           sizes[s], a, b, a / b);
    fflush(stdout);
    SetCurrentDirectoryA(temp);
  }
  for (int s = 0; s < 2; ++s) MeasureMemory(self, folders[s], sizes[s]);
  for (int s = 0; s < 2; ++s) RemoveGameFolder(folders[s]);
  return 0;
}
