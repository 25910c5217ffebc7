#!/usr/bin/env bash
# What a player downloads: package.sh's zip with its two entries, the same bytes from
# a copy in another folder, an .exe that is small, stands alone, and carries no
# time stamp, build path or resource besides the dialog, and a guide titled with the
# version.
#   package_test.sh SOURCE_DIR [EXE_THE_WINE_TESTS_RAN]
set -uo pipefail
source_dir=$(cd "$1" && pwd) tested_exe=${2:-}
source "$(dirname "$0")/e2e_common.sh"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The last line package.sh prints: the zip's SHA-256 and its path.
if ! out=$("$source_dir/scripts/package.sh"); then
  fail "package.sh builds the package"
  exit 1
fi
echo "$out"
read -r hash zipfile <<<"$(tail -n 1 <<<"$out")"
zipfile=$source_dir/$zipfile

# The same files in a folder of another name and depth give the same bytes.
copy=$dir/elsewhere/k
mkdir -p "$copy"
(cd "$source_dir" && git ls-files -z | xargs -0 cp --parents -t "$copy")
again=$(SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct) "$copy/scripts/package.sh" |
  tail -n 1)
check "a copy in another folder packs the same bytes" test "${again%% *}" = "$hash"

check "the zip holds korvidane-convert.exe, then CTIMNE.txt, and nothing else" \
  test "$(unzip -Z1 "$zipfile" | tr '\n' ' ')" = "korvidane-convert.exe CTIMNE.txt "
unzip -q "$zipfile" -d "$dir"
exe=$dir/korvidane-convert.exe txt=$dir/CTIMNE.txt

size=$(stat -c %s "$exe")
check "the .exe is at most 64 KiB (it is $size bytes)" test "$size" -le 65536

imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
check "the .exe imports DLLs" test -n "$imports"
others=$(grep -viE '^(kernel32|user32|shell32|gdi32|advapi32|comctl32|msvcrt|ntdll)\.dll$' \
  <<<"$imports")
check "the .exe imports only system DLLs (others: ${others:-none})" test -z "$others"

# The PE header's TimeDateStamp: 4 bytes, 8 bytes into the header e_lfanew points to.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
stamp=$(od -An -tu4 -j$((pe + 8)) -N4 "$exe" | tr -d ' ')
check "the .exe has no link time stamp (it has $stamp)" test "$stamp" = 0

check "no path of the clone is in the .exe" \
  sh -c '! grep -qF "$1" "$2"' - "$(cd "$source_dir" && pwd)" "$exe"
# windres writes each resource under a comment "/* Type: dialog".
resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null |
  sed -n 's|^/\* Type: *\([^ ]*\).*|\1|p' | paste -sd ' ')
check "the dialog is the .exe's only resource (found: ${resources:-none})" \
  test "$resources" = dialog

[ -n "$tested_exe" ] &&
  check "the .exe is the program the Wine tests ran" cmp -s "$exe" "$tested_exe"

check "CTIMNE.txt begins with the UTF-8 byte order mark" \
  test "$(head -c 3 "$txt" | od -An -tx1 | tr -d ' ')" = efbbbf
version=$(sed -n 's/^project(korvidane_convert VERSION \([0-9.]*\) .*/\1/p' \
  "$source_dir/CMakeLists.txt")
title=$(head -n 1 "$txt" | tr -d '\r')
check "the title of CTIMNE.txt ends with the version in CMakeLists.txt, ${version:-none}" \
  test -n "$version" -a "${title##* }" = "$version"
check "every line of CTIMNE.txt ends CR LF" \
  test "$(grep -c $'\r$' "$txt")" = "$(wc -l < "$txt")" -a "$(tail -c 2 "$txt" | od -An -c | tr -d ' ')" = '\r\n'
check "CTIMNE.txt names what it explains" \
  sh -c 'for w in "$@"; do grep -qF "$w" "$0" || exit 1; done' "$txt" \
    vozedudo.exe __Am __Ru "Proveď převod" Esc "Mise neexistuje!" "nelze zapsat!" \
    "Složku mise nelze přečíst!" "Neplatný název souboru v misi!" \
    "Program vozedudo.exe nelze spustit!" "Jiné okno právě převádí misi v této složce hry." \
    "Jeho předchozí obsah je v souboru"

echo "$failures failed"
[ "$failures" -eq 0 ]
