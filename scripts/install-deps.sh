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
case "$mode" in
  all)
    packages=("${native[@]}" "${cross[@]}" zip unzip
      wine wine64 xvfb xauth xdotool imagemagick locales
      fonts-wine)  # Marlett: the caption's close box, not the letter "r"
    ;;
  native) packages=("${native[@]}") ;;
  bench) packages=(cmake g++ make libbenchmark-dev "${cross[@]}" wine wine64) ;;
  package) packages=(cmake make "${cross[@]}" zip) ;;
  *) echo "usage: $0 [native|bench|package]" >&2; exit 2 ;;
esac

# Root: this user, or through sudo; without either, say what to run as root.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
need_root() {  # need_root COMMAND...: stops unless as_root can run it
  if [ "$(id -u)" -eq 0 ] || command -v sudo >/dev/null; then return 0; fi
  echo "$0: this needs root, and there is no sudo. As root, run:" >&2
  echo "  $*" >&2
  exit 1
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  need_root apt-get install --no-install-recommends "${missing[@]}"
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  # Through env: sudo would drop the variable from the caller's environment.
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

[ "$mode" = all ] || exit 0

# Wine takes the ANSI code page from the Unix locale: cs_CZ gives code page 1250;
# ja_JP (code page 932) is for the tests of names in a double-byte code page, and
# zh_TW for the one language whose code page also follows the territory (950).
for name in cs_CZ ja_JP zh_TW; do
  if ! locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8\$"; then
    need_root localedef -i "$name" -f UTF-8 "$name.UTF-8"
    as_root localedef -i "$name" -f UTF-8 "$name.UTF-8"
  fi
done
