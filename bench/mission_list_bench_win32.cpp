// Speed of writing the mission list on Windows (run under Wine here), against the
// plainest loop that writes the same lines with the ANSI find functions; and the
// peak memory of a whole process that writes one list.
//   mission_list_bench_win32 GAME_FOLDER...     both figures for each game folder
//   mission_list_bench_win32 --memory GAME_FOLDER   one list there, then the peaks
//   mission_list_bench_win32 --memory-plain GAME_FOLDER   the same for the plain loop
// A game folder holds "__Am\01\" with the entries; the caller makes them, as Wine
// creates files in a large folder slowly.
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

// A fresh process writes one list, so its peaks are the list writer's and the
// runtime's, nothing of the timing runs.
static void MeasureMemory(const char* self, const char* mode, const char* folder) {
  char command[2 * MAX_PATH + 32];
  snprintf(command, sizeof command, "\"%s\" %s \"%s\"", self, mode, folder);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  printf("%s, %s: ", folder, strcmp(mode, "--memory") == 0 ? "WriteMissionList" : "plain loop");
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
  bool plain_memory = argc == 3 && strcmp(argv[1], "--memory-plain") == 0;
  if (plain_memory || (argc == 3 && strcmp(argv[1], "--memory") == 0)) {
    SetCurrentDirectoryA(argv[2]);
    if (plain_memory) {
      PlainFindLoop();
    } else {
      WriteListOnce();
    }
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    printf("peak working set %zu KiB, peak private bytes %zu KiB (whole process)\n",
           counters.PeakWorkingSetSize / 1024, counters.PeakPagefileUsage / 1024);
    return 0;
  }
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  for (int folder = 1; folder < argc; ++folder) {
    if (!SetCurrentDirectoryA(argv[folder])) {
      fprintf(stderr, "no folder %s\n", argv[folder]);
      return 1;
    }
    // Alternating rounds, so that noise falls on both alike; medians.
    const int kRounds = 15;
    double ours[kRounds];
    double plain[kRounds];
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
    printf("%s: WriteMissionList %.2f ms; plain FindFirstFileA loop %.2f ms (ratio %.2f)\n",
           argv[folder], a, b, a / b);
    fflush(stdout);
  }
  for (int folder = 1; folder < argc; ++folder) {
    MeasureMemory(self, "--memory", argv[folder]);
    MeasureMemory(self, "--memory-plain", argv[folder]);
  }
  return 0;
}
