#!/usr/bin/env bash
# Runs every test: the native suite, the same suite under ASan+UBSan, the Windows
# build under Wine, and the player's package. Installs what is missing and builds
# first; compiler warnings are shown. Says why each skipped test was skipped, and
# ends with one line over all of it: "N passed, M failed, K skipped".
set -uo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh all "$0" || exit 1

passed=0 failed=0 skipped=0
failed_parts=()
mkdir -p build/logs

# What the tests make in the temporary folder goes into one of this run's own, so
# that anything a test leaves behind is seen. Open to all, as /tmp is: tests run as
# root act as a second user in there.
TMPDIR=$(mktemp -d "${TMPDIR:-/tmp}/korvidane-test-run.XXXXXX") || exit 1
chmod 1777 "$TMPDIR"
export TMPDIR
# Nothing may be written into the user's home either: what changed there since this
# mark is seen at the end.
home_mark=build/logs/home-mark
touch "$home_mark"

# Code page 1250, as on a Czech player's Windows. Given to each command, never set in
# this shell: a process that looked for a locale before install-deps.sh made the
# locale archive keeps failing to find any in it.
czech() { env LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8 "$@"; }
# Wine's menus and file types, and fontconfig's cache, would go into the home: Wine,
# Xvfb and the tools around them get one of their own in build/.
wine_home=$PWD/build/windows/home
mkdir -p "$wine_home"
windows_env() {
  czech env HOME="$wine_home" XDG_CONFIG_HOME="$wine_home/.config" \
    XDG_DATA_HOME="$wine_home/.local/share" XDG_CACHE_HOME="$wine_home/.cache" "$@"
}

suite() {  # suite PRESET [COMMAND PREFIX...]
  local preset=$1; shift
  echo "== $preset"
  if ! "$@" ./scripts/build-preset.sh "$preset"; then
    failed_parts+=("$preset")
    failed=$((failed + 1))
    return
  fi
  local junit=$PWD/build/logs/$preset-tests.xml results p=0 f=0 s=0 status=0
  rm -f "$junit"
  # ctest lists the tests that did not run; the reasons below list them again.
  "$@" ctest --preset "$preset" --output-junit "$junit" |
    awk '/^The following tests did not run:$/ { listing = 1; next }
         listing && /^\t/ { next }
         { if (!(listing && $0 == "")) print; listing = 0 }'
  status=${PIPESTATUS[0]}
  if results=$(awk -f scripts/ctest-results.awk "$junit" 2>/dev/null); then
    sed '$d' <<<"$results"  # why each skip was skipped
    read -r p f s <<<"$(tail -n 1 <<<"$results")"
  fi
  if [ "$status" -ne 0 ]; then
    failed_parts+=("$preset")
    [ "$f" -gt 0 ] || f=1  # ctest failed before any test did
  fi
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
}

suite native
suite asan

# Wine's server and prefix are started first, away from every pipe, or each test
# waits seconds for helper processes to let go of ctest's output.
# No Mono or Gecko: the programs need neither, and their installers would ask. No
# menu entries either (winemenubuilder).
export WINEPREFIX="$PWD/build/windows/.wine" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
windows_env wineserver -p </dev/null >/dev/null 2>&1
windows_env wine wineboot </dev/null >/dev/null 2>&1
suite windows windows_env
windows_env wineserver -k </dev/null >/dev/null 2>&1

echo "== package"
checks=build/logs/package-checks.txt
./tests/package_test.sh . build/windows/korvidane-convert.exe | tee "$checks"
status=${PIPESTATUS[0]}
p=$(grep -c '^ok:' "$checks") f=$(grep -c '^FAIL:' "$checks")
if [ "$status" -ne 0 ]; then
  failed_parts+=(package)
  [ "$f" -gt 0 ] || f=1  # it stopped before its checks
fi
passed=$((passed + p)) failed=$((failed + f))

echo "== the temporary folder and the home folder"
# Debian's Wine keeps its server's folder there, under a name written in the prefix:
# Wine's own, reused by the next run, and it goes with the run's folder.
wine_servers=$(awk 1 build/windows/.wine*/wineserver 2>/dev/null)  # no line ends there
nothing_left() {  # nothing_left PART FAILURE SUCCESS WHAT_WAS_LEFT: one counted check
  if [ -n "$4" ]; then
    echo "FAIL: the tests $2:"
    sed 's/^/  /' <<<"$4"
    failed_parts+=("$1")
    failed=$((failed + 1))
  else
    echo "ok: the tests $3"
    passed=$((passed + 1))
  fi
}
nothing_left "temporary folder" "left in the temporary folder" \
  "left nothing in the temporary folder" "$(ls -A "$TMPDIR" | grep -vxF "$wine_servers")"
# What changed in the home since the mark: not this clone or the run's temporary
# folder, should either be in it, nor what the shell and git keep there.
home=$(cd "$HOME" 2>/dev/null && pwd -P) || home=
tmp_parent=$(cd "$TMPDIR/.." && pwd -P)
left=
if [ -n "$home" ]; then
  left=$(find "$home" -xdev \( -path "$(pwd -P)" -o -path "$(cd "$TMPDIR" && pwd -P)" \) -prune -o \
    -newer "$home_mark" ! -path "$home" ! -path "$tmp_parent" ! -name .bash_history \
    ! -name .lesshst ! -name .viminfo ! -name .gitconfig -print 2>/dev/null)
fi
nothing_left "home folder" "wrote into $HOME" "wrote nothing into $HOME" "$left"
chmod -R u+rwX "$TMPDIR" 2>/dev/null
rm -rf "$TMPDIR"

[ ${#failed_parts[@]} -eq 0 ] || echo "FAILED: ${failed_parts[*]}"
echo "$passed passed, $failed failed, $skipped skipped"
[ ${#failed_parts[@]} -eq 0 ] && [ "$failed" -eq 0 ]
