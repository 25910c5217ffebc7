// Speed and memory of writing the mission list, against the plainest loop that
// writes the same lines: readdir and one buffered stream.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

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

// "--memory FOLDER" or "--memory-plain FOLDER": one list written in a fresh
// process, then the peak resident memory of the whole process (malloc, opendir's
// buffer and the stream included).
int main(int argc, char** argv) {
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
