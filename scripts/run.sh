#!/usr/bin/env bash
# Builds the program and starts its dialog (in the terminal) in a game folder: the
# one given, or else a fresh copy of the demo game in build/demo-game.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
./scripts/install-deps.sh native
./scripts/build-preset.sh native  # shows warnings, and the whole log on failure
if [ $# -gt 0 ]; then
  game=$(cd "$1" && pwd)
else
  game=$root/build/demo-game
  rm -rf "$game"
  cp -r examples/game "$game"
fi
echo "Herní složka: $game"
echo
cd "$game"
exec "$root/build/native/korvidane-convert"
