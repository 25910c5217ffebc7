#!/usr/bin/env bash
# Installs what building and testing need on Debian 12; does nothing when all is there.
#   install-deps.sh          everything: native, Windows cross-build, Wine and X tools
#   install-deps.sh native   only what the native build needs
#   install-deps.sh bench    only what the benchmarks need: native, and under Wine
#   install-deps.sh package  only what the player's package needs
set -euo pipefail

native=(cmake g++ make googletest libgtest-dev libbenchmark-dev tmux)
cross=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
mode=${1:-all}
locales=()
case "$mode" in
  all)
    packages=("${native[@]}" "${cross[@]}" zip unzip
      wine wine64 xvfb xauth xdotool imagemagick locales
      fonts-wine)  # Marlett: the caption's close box, not the letter "r"
    # Wine takes the ANSI code page from the Unix locale: cs_CZ gives code page 1250;
    # ja_JP (code page 932) is for the tests of names in a double-byte code page, and
    # zh_TW for the one language whose code page also follows the territory (950).
    locales=(cs_CZ ja_JP zh_TW)
    ;;
  native) packages=("${native[@]}") ;;
  bench) packages=(cmake g++ make libbenchmark-dev "${cross[@]}" wine wine64) ;;
  package) packages=(cmake make "${cross[@]}" zip) ;;
  *) echo "usage: $0 [native|bench|package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
# locale -a spells them cs_CZ.utf8.
missing_locales=()
for name in "${locales[@]}"; do
  locale -a 2>/dev/null | grep -qix "$name\.utf-\?8" || missing_locales+=("$name")
done
[ ${#missing[@]} -gt 0 ] || [ ${#missing_locales[@]} -gt 0 ] || exit 0

# All that needs root, in the order it must run: localedef needs the package locales.
commands=()
if [ ${#missing[@]} -gt 0 ]; then
  commands+=("apt-get update"
    "DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}")
fi
for name in "${missing_locales[@]}"; do
  commands+=("localedef -i $name -f UTF-8 $name.UTF-8")
done

# Root: this user, or through sudo; without either, everything to run as root at once.
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null; then
  as_root=(sudo)
else
  echo "$0: this needs root, and there is no sudo. As root, run:" >&2
  echo >&2
  printf '  %s\n' "${commands[@]}" >&2
  echo >&2
  echo "then run this command again." >&2
  exit 1
fi

[ ${#missing[@]} -eq 0 ] || echo "Installing: ${missing[*]}"
[ ${#missing_locales[@]} -eq 0 ] || echo "Making the locales: ${missing_locales[*]}"
# apt-get's and debconf's chatter ("delaying package configuration, since apt-utils is
# not installed") goes to a log, shown only when a step fails.
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
