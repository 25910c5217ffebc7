#!/usr/bin/env bash
# Runs every test: the native suite, the same suite under ASan+UBSan, the Windows
# build under Wine, and the player's package. Installs what is missing and builds
# first; compiler warnings are shown.
set -uo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh || exit 1

failed=()

suite() {
  echo "== $1"
  if ! ./scripts/build-preset.sh "$1"; then
    failed+=("$1")
    return
  fi
  ctest --preset "$1" || failed+=("$1")
}

suite native
suite asan

# Wine's server and prefix are started first, away from every pipe, or each test
# waits seconds for helper processes to let go of ctest's output.
# No Mono or Gecko: the programs need neither, and their installers would ask.
export WINEPREFIX="$PWD/build/windows/.wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Code page 1250, as on a Czech player's Windows.
export LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8
mkdir -p build/windows
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
suite windows
wineserver -k </dev/null >/dev/null 2>&1

echo "== package"
./tests/package_test.sh . build/windows/korvidane-convert.exe || failed+=(package)

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
