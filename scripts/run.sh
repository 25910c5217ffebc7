#!/usr/bin/env bash
# Builds the program and starts its dialog (in the terminal) in a game folder: the
# one given, or else a fresh copy of the demo game in build/demo-game.
#   run.sh [GAME_FOLDER]
set -euo pipefail
# A folder that is not a game folder is refused before anything is installed or built.
if [ $# -gt 0 ]; then
  if [ ! -d "$1" ]; then
    echo "$0: there is no folder $1" >&2
    exit 1
  fi
  if [ ! -d "$1/__Am" ] && [ ! -d "$1/__Ru" ]; then
    echo "$0: $1 is not a game folder: it holds neither __Am nor __Ru" >&2
    exit 1
  fi
  game=$(cd "$1" && pwd)
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/install-deps.sh native "$0"
# Only the program: the tests and benchmarks are test.sh's to build.
./scripts/build-preset.sh native --target korvidane-convert
if [ $# -eq 0 ]; then
  game=$root/build/demo-game
  rm -rf "$game"
  cp -r examples/game "$game"
fi
echo "Herní složka: $game"
echo
cd "$game"
exec "$root/build/native/korvidane-convert"
