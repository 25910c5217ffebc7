// Speed and memory of writing the mission list, against the plainest loop that
// writes the same lines: readdir and one buffered stream. And the time of whole
// conversions by the program against the plain way of doing the same job
// (plain_whole_job.c).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "convert/convert.h"

namespace fs = std::filesystem;

// One game folder per size, made once, with a mission folder of that many files.
static void EnterGameFolder(int entries) {
  static std::map<int, fs::path> folders;
  fs::path& folder = folders[entries];
  if (folder.empty()) {
    folder = fs::temp_directory_path() /
             ("korvidane-bench-" + std::to_string(getpid()) + "-" + std::to_string(entries));
    fs::create_directories(folder / "__Am" / "01");
    char name[64];
    for (int i = 0; i < entries; ++i) {
      snprintf(name, sizeof name, "mission-part-%06d.dat", i);
      FILE* file = fopen((folder / "__Am" / "01" / name).c_str(), "wb");
      if (file) fclose(file);
    }
    std::atexit([] {
      for (auto& made : folders) fs::remove_all(made.second);
    });
  }
  fs::current_path(folder);
}

static void BM_WriteMissionList(benchmark::State& state) {
  EnterGameFolder(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (WriteMissionList("Am", "01") != kMissionListWritten) state.SkipWithError("not written");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

static void PlainReaddirLoop(const char* target) {
  DIR* folder = opendir("__Am/01");
  FILE* list = fopen(target, "wb");
  fprintf(list, " %s%s.kdp\r\n", "Am", "01");
  while (const dirent* entry = readdir(folder)) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    fprintf(list, "missions\\__%s\\%s\\%s#__%s\\%s\\%s\r\n", "Am", "01", entry->d_name, "Am", "01",
            entry->d_name);
  }
  fclose(list);
  closedir(folder);
}

static void BM_PlainReaddirLoop(benchmark::State& state) {
  EnterGameFolder(static_cast<int>(state.range(0)));
  for (auto _ : state) PlainReaddirLoop("Am01.txt");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The same loop into a new file that then replaces the list, as the converter does:
// this shows what the safe replacement itself costs on this file system.
static void BM_PlainReaddirLoopThenRename(benchmark::State& state) {
  EnterGameFolder(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    PlainReaddirLoop("Am01.txt.new");
    rename("Am01.txt.new", "Am01.txt");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_WriteMissionList)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainReaddirLoop)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainReaddirLoopThenRename)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Runs command with sh -c in the working directory, its output to /dev/null;
// the milliseconds until the shell ends, or -1 when it fails.
static double RunShell(const char* command) {
  timespec start, end;
  fflush(stdout);
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = fork();
  if (child == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  clock_gettime(CLOCK_MONOTONIC, &end);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
}

static std::string FileContent(const char* name) {
  std::string content;
  if (FILE* file = fopen(name, "rb")) {
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
    fclose(file);
  }
  return content;
}

static double Median(double* values, int count) {
  std::sort(values, values + count);
  return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

// "--whole-process GAME_FOLDER PROGRAM PLAIN_PROGRAM [ROUNDS]": both whole programs
// convert Am 01 there, started alike by a shell that pipes them the line; one round
// of each first, whose lists and stubs must be the same bytes, then ROUNDS (15)
// rounds alternating, so that noise falls on both alike.
static int MeasureWholeProcess(const char* folder, const char* program, const char* plain,
                               int rounds) {
  if (chdir(folder) != 0 || rounds < 1 || rounds > 101) return 1;
  const int kRounds = rounds;
  std::string commands[2] = {std::string("printf 'Am 01\\n' | ") + program,
                             std::string("printf 'Am 01\\n' | ") + plain};
  double times[2][101];
  std::string files[2];
  for (int round = -1; round < kRounds; ++round) {
    for (int side = 0; side < 2; ++side) {
      if (round < 0) {  // each file its program's own
        unlink("Am01.txt");
        unlink("Am01.kdp");
      }
      double time = RunShell(commands[side].c_str());
      if (time < 0) {
        fprintf(stderr, "failed: %s\n", commands[side].c_str());
        return 1;
      }
      if (round >= 0) times[side][round] = time;
      if (round < 0) files[side] = FileContent("Am01.txt") + "|" + FileContent("Am01.kdp");
    }
    if (round < 0 && (files[0].size() < 100 || files[0] != files[1])) {
      fprintf(stderr, "the two programs wrote different files\n");
      return 1;
    }
  }
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  double ours = Median(times[0], kRounds), theirs = Median(times[1], kRounds);
  printf(
      "%s, whole process (sh -c \"printf 'Am 01\\n' | PROGRAM\", median of %d, alternating):\n"
      "  %s %.2f ms; %s %.2f ms; ratio %.2f (load average %.2f %.2f %.2f)\n",
      folder, kRounds, strrchr(program, '/') ? strrchr(program, '/') + 1 : program, ours,
      strrchr(plain, '/') ? strrchr(plain, '/') + 1 : plain, theirs, ours / theirs, load[0],
      load[1], load[2]);
  return 0;
}

// "--memory FOLDER" or "--memory-plain FOLDER": one list written in a fresh
// process, then the peak resident memory of the whole process (malloc, opendir's
// buffer and the stream included).
int main(int argc, char** argv) {
  if ((argc == 5 || argc == 6) && strcmp(argv[1], "--whole-process") == 0) {
    return MeasureWholeProcess(argv[2], argv[3], argv[4], argc == 6 ? atoi(argv[5]) : 15);
  }
  if (argc == 3 && (strcmp(argv[1], "--memory") == 0 || strcmp(argv[1], "--memory-plain") == 0)) {
    if (chdir(argv[2]) != 0) return 1;
    bool plain = strcmp(argv[1], "--memory-plain") == 0;
    if (plain) {
      PlainReaddirLoop("Am01.txt");
    } else if (WriteMissionList("Am", "01") != kMissionListWritten) {
      return 1;
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    printf("%s, %s: peak resident %ld KiB (whole process)\n", argv[2],
           plain ? "plain loop" : "WriteMissionList", usage.ru_maxrss);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
