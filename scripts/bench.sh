#!/usr/bin/env bash
# Writing the mission list for folders of 1,000 and 100,000 entries, against the
# plainest loop that writes the same lines: natively (readdir) and the Windows
# program under Wine (FindFirstFileA). Then the peak memory of a whole process that
# writes one list, for both sizes: it must not grow with the entries. And whole
# conversions of 20 and 100,000 entries, the program started by a shell as a script
# would, against the plain way of doing the same job (bench/plain_whole_job.c), with
# the load average beside: a busy machine squeezes any ratio toward 1.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh bench
./scripts/build-preset.sh native >/dev/null
windows=yes
./scripts/build-preset.sh windows >/dev/null || windows=

echo "== Linux"
out=$(mktemp)
./build/native/mission_list_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_counters_tabular=true "$@" > "$out"
# Medians of both, side by side.
awk '/_median/ { split($1, name, "/"); time[name[1] "/" name[2]] = $2 }
     END {
       for (n = 1000; n <= 100000; n *= 100) {
         a = time["BM_WriteMissionList/" n "_median"]; b = time["BM_PlainReaddirLoop/" n "_median"]
         c = time["BM_PlainReaddirLoopThenRename/" n "_median"]
         if (a && b && c) printf "%6d entries: WriteMissionList %.0f us; plain loop %.0f us (ratio %.2f); plain loop then rename %.0f us (ratio %.2f)\n", n, a, b, a / b, c, a / c
       }
     }' "$out"
rm -f "$out"

# Game folders made here: Wine creates files in a large folder slowly.
games=$(mktemp -d)
export WINEPREFIX="$PWD/build/windows/.wine-bench" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine's menus and fontconfig's cache go into a home of their own, not the user's.
export HOME="$PWD/build/windows/home" XDG_CONFIG_HOME="$PWD/build/windows/home/.config"
export XDG_DATA_HOME="$PWD/build/windows/home/.local/share" XDG_CACHE_HOME="$PWD/build/windows/home/.cache"
mkdir -p "$HOME"
trap 'wineserver -k </dev/null >/dev/null 2>&1; rm -rf "$games"' EXIT
folders=()
for n in 1000 100000; do
  mkdir -p "$games/$n/__Am/01"
  (cd "$games/$n/__Am/01" && seq -f 'mission-part-%06g.dat' 0 $((n - 1)) | xargs touch)
  folders+=("Z:${games//\//\\}\\$n")
done
for n in 1000 100000; do
  ./build/native/mission_list_bench --memory "$games/$n"
  ./build/native/mission_list_bench --memory-plain "$games/$n"
done

# The whole process, with an updater that exits at once in the game folder: a
# mission of 20 entries, what a player waits for, and one of 100,000.
mkdir -p "$games/20/__Am/01"
(cd "$games/20/__Am/01" && seq -f 'mission-part-%02g.dat' 0 19 | xargs touch)
for n in 20 100000; do
  printf '#!/bin/sh\nexit 0\n' > "$games/$n/vozedudo.exe"
  chmod +x "$games/$n/vozedudo.exe"
  ./build/native/mission_list_bench --whole-process "$games/$n" \
    "$PWD/build/native/korvidane-convert" "$PWD/build/native/plain_whole_job" \
    $([ "$n" = 20 ] && echo 31 || echo 15)
  rm -f "$games/$n/vozedudo.exe" "$games/$n"/Am01.*
done

if [ -z "$windows" ]; then
  echo "== Windows program not built (see build/logs/windows.log): not measured under Wine"
  exit 0
fi

echo "== Windows program under Wine"
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
/usr/lib/wine/wine64 build/windows/mission_list_bench_win32.exe "${folders[@]}" </dev/null
echo
echo "(Under Wine the find functions read a whole folder at once: the plain loop's peak grows alike.)"
