// Speed and memory of writing the mission list, against the plainest loop that
// writes the same lines: readdir and one buffered stream.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <string>

#include "convert/convert.h"

namespace fs = std::filesystem;

// Live and peak heap bytes of one untimed run, to show the list is streamed: the
// peak must not grow with the number of entries. Counting is off while timing.
static bool counting = false;
static size_t live_bytes = 0;
static size_t peak_bytes = 0;

void* operator new(size_t size) {
  void* block = malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  if (counting) {
    live_bytes += malloc_usable_size(block);
    if (live_bytes > peak_bytes) peak_bytes = live_bytes;
  }
  return block;
}
void operator delete(void* block) noexcept {
  if (counting && block) live_bytes -= malloc_usable_size(block);
  free(block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

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
  live_bytes = peak_bytes = 0;
  counting = true;
  WriteMissionList("Am", "01");
  counting = false;
  state.counters["peak_heap_bytes"] = static_cast<double>(peak_bytes);
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

BENCHMARK_MAIN();
