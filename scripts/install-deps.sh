#!/usr/bin/env bash
# Installs what building and testing need on Debian 12; does nothing when all is there.
#   install-deps.sh          everything: native, Windows cross-build, Wine and X tools
#   install-deps.sh native   only what the native build needs
set -euo pipefail

packages=(cmake g++ make googletest libgtest-dev libbenchmark-dev tmux)
if [ "${1:-}" != native ]; then
  packages+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth xdotool imagemagick locales)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

[ "${1:-}" = native ] && exit 0

# Wine takes the ANSI code page from the Unix locale: cs_CZ gives code page 1250.
if ! locale -a 2>/dev/null | grep -qi '^cs_CZ\.utf-\?8$'; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo localedef -i cs_CZ -f UTF-8 cs_CZ.UTF-8
fi
