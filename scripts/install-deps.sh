#!/usr/bin/env bash
# Installs what building and testing need on Debian 12; does nothing when all is there.
#   install-deps.sh [MODE [COMMAND]]
#   MODE all (the default)  everything: native, Windows cross-build, Wine and X tools
#        native             only what the native build needs
#        bench              only what the benchmarks need: native, and under Wine
#        package            only what the player's package needs
#   COMMAND: the command the user ran, named when they must ask root.
set -euo pipefail

# What each group is for is said to a user who must ask root for it.
program=(cmake g++ make googletest libgtest-dev libbenchmark-dev tmux)
cross=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
windows=("${cross[@]}" zip unzip wine wine64 xvfb xauth xdotool imagemagick locales
  fonts-wine)  # Marlett: the caption's close box, not the letter "r"
# Wine takes the ANSI code page from the Unix locale: cs_CZ gives code page 1250;
# ja_JP (code page 932) is for the tests of names in a double-byte code page, and
# zh_TW for the one language whose code page also follows the territory (950).
all_locales=(cs_CZ ja_JP zh_TW)

mode=${1:-all}
command_run=${2:-$0}
locales=()
case "$mode" in
  all) packages=("${program[@]}" "${windows[@]}"); locales=("${all_locales[@]}") ;;
  native) packages=("${program[@]}") ;;
  bench) packages=(cmake g++ make libbenchmark-dev "${cross[@]}" wine wine64) ;;
  package) packages=(cmake make "${cross[@]}" zip) ;;
  *) echo "usage: $0 [all|native|bench|package [COMMAND]]" >&2; exit 2 ;;
esac

missing_packages() {  # the packages given that are not installed
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"
  done
}
missing_locales() {  # locale -a spells them cs_CZ.utf8
  local name
  for name in "$@"; do
    locale -a 2>/dev/null | grep -qix "$name\.utf-\?8" || echo "$name"
  done
}
# debconf's "delaying package configuration, since apt-utils is not installed" is a
# warning: DEBCONF_NOWARNINGS keeps it out of a pasted block's output.
install_line() {
  echo "DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes apt-get install -y --no-install-recommends $*"
}

mapfile -t missing < <(missing_packages "${packages[@]}")
mapfile -t missing_locales < <(missing_locales "${locales[@]}")
[ ${#missing[@]} -gt 0 ] || [ ${#missing_locales[@]} -gt 0 ] || exit 0

# Without root or sudo: one block for everything run.sh and test.sh need, whichever
# the user ran first, so that they ask root once.
if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
  mapfile -t missing_program < <(missing_packages "${program[@]}")
  mapfile -t missing_windows < <(missing_packages "${windows[@]}")
  mapfile -t missing_locales < <(missing_locales "${all_locales[@]}")
  {
    echo "$command_run needs software that only root can install, and there is no sudo."
    echo "Paste this block into a root shell (su -): it covers ./scripts/run.sh and"
    echo "./scripts/test.sh alike."
    echo
    [ ${#missing_program[@]} -eq 0 ] && [ ${#missing_windows[@]} -eq 0 ] || echo "  apt-get update"
    if [ ${#missing_program[@]} -gt 0 ]; then
      echo "  # the program and its tests: compiler, CMake, GoogleTest, Google Benchmark, tmux"
      echo "  $(install_line "${missing_program[@]}")"
    fi
    if [ ${#missing_windows[@]} -gt 0 ]; then
      echo "  # the Windows build and its tests: mingw-w64, Wine, a virtual X server, zip"
      echo "  $(install_line "${missing_windows[@]}")"
    fi
    if [ ${#missing_locales[@]} -gt 0 ]; then
      echo "  # the locales the Windows tests run in: Czech (code page 1250), Japanese (932),"
      echo "  # Chinese of Taiwan (950)"
      for name in "${missing_locales[@]}"; do
        echo "  localedef -i $name -f UTF-8 $name.UTF-8"
      done
    fi
    echo
    echo "Then run $command_run again."
  } >&2
  exit 1
fi

# All that needs root, in the order it must run: localedef needs the package locales.
commands=()
if [ ${#missing[@]} -gt 0 ]; then
  commands+=("apt-get update" "$(install_line "${missing[@]}")")
fi
for name in "${missing_locales[@]}"; do
  commands+=("localedef -i $name -f UTF-8 $name.UTF-8")
done
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

[ ${#missing[@]} -eq 0 ] || echo "Installing: ${missing[*]}"
[ ${#missing_locales[@]} -eq 0 ] || echo "Making the locales: ${missing_locales[*]}"
# apt-get's chatter goes to a log, shown only when a step fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for command in "${commands[@]}"; do
  # Through env: sudo would drop a variable given before it.
  if ! "${as_root[@]}" env $command </dev/null >"$log" 2>&1; then
    cat "$log" >&2
    echo "$0: failed: $command" >&2
    exit 1
  fi
done
