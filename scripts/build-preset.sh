#!/usr/bin/env bash
# Configures and builds one CMake preset, keeping the output in build/logs/PRESET.log:
# says so on one line; shows compiler and CMake warnings; on failure, the whole log.
#   build-preset.sh PRESET [--target TARGET] [CONFIGURE OPTIONS...]
set -euo pipefail
preset=$1; shift
targets=()
if [ "${1:-}" = --target ]; then
  targets=(--target "$2")
  shift 2
fi
cd "$(dirname "$0")/.."
mkdir -p build/logs
log=build/logs/$preset.log
echo "Building ${targets[1]:-$preset} (log: $log)"
if cmake --preset "$preset" "$@" >"$log" 2>&1 &&
   cmake --build --preset "$preset" "${targets[@]}" >>"$log" 2>&1; then
  grep -E -A3 'warning:|CMake Warning' "$log" || true
else
  cat "$log"
  echo "build failed: $preset (log: $log)" >&2
  exit 1
fi
