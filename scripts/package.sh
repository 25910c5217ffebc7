#!/usr/bin/env bash
# Builds the player's package, build/package/korvidane-convert-VERSION-windows-x64.zip:
# korvidane-convert.exe and CTIMNE.txt, whose title also carries VERSION (project()'s in
# CMakeLists.txt). Any clone of the same commit gives the same bytes; the zip's SHA-256
# is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh package
# Configured afresh, so that no setting left in an earlier cache changes the program.
./scripts/build-preset.sh package --fresh
version=$(cat build/package-build/version.txt)

# Both entries get the last commit's time (or SOURCE_DATE_EPOCH), not the build's.
mtime=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC  # zip stores local time
out=build/package
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage"
cp build/package-build/korvidane-convert.exe "$stage/"
# CTIMNE.txt gets the version in its title, and the rule under the title is made as
# long as the title (counted in characters, hence the UTF-8 locale; the byte order
# mark is not counted, the CR LF is kept).
LC_ALL=C.UTF-8 sed -e "1s/@PROJECT_VERSION@/$version/" -e '1h' \
  -e '2{g; s/^.//; s/./=/g; s/=$/\r/}' package/CTIMNE.txt > "$stage/CTIMNE.txt"
chmod 644 "$stage"/*
touch -d "@$mtime" "$stage"/*

zipfile=korvidane-convert-$version-windows-x64.zip
rm -f "$out/$zipfile"  # zip would add to an old archive
# -X: no owner or extra time fields; -D: no folder entries; the order as given.
(cd "$stage" && zip -q -X -D "../$zipfile" korvidane-convert.exe CTIMNE.txt)
rm -rf "$stage"
sha256sum "$out/$zipfile"
