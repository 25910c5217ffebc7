#!/usr/bin/env bash
# Configures and builds one CMake preset, keeping the output in build/logs/PRESET.log:
# compiler and CMake warnings are shown; on failure, the whole log.
#   build-preset.sh PRESET [CONFIGURE OPTIONS...]
set -euo pipefail
preset=$1; shift
cd "$(dirname "$0")/.."
mkdir -p build/logs
log=build/logs/$preset.log
if cmake --preset "$preset" "$@" >"$log" 2>&1 && cmake --build --preset "$preset" >>"$log" 2>&1; then
  grep -E -A3 'warning:|CMake Warning' "$log" || true
else
  cat "$log"
  echo "build failed: $preset (log: $log)" >&2
  exit 1
fi
