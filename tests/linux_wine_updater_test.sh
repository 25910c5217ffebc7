#!/usr/bin/env bash
# The Linux program handing the list to a Windows updater, which wine runs: the
# updater must find every file the list names, in its own ANSI code page.
#   linux_wine_updater_test.sh KORVIDANE_CONVERT STAND_IN_UPDATER.exe
set -uo pipefail
converter=$1 stand_in=$2
source "$(dirname "$0")/e2e_common.sh"
[ -x "$converter" ] || { echo "no Linux program at $converter: skipped"; exit 77; }
export WINEDEBUG=-all

game=$(mktemp -d)
trap 'remove_game "$game"' EXIT
mkdir -p "$game/__Am/01" "$game/__Am/01/zvuky"
echo x > "$game/__Am/01/mapa.dat"
echo x > "$game/__Am/01/zadání mise.txt"
echo x > "$game/__Am/01/řád.dat"
cp "$stand_in" "$game/vozedudo.exe"
touch "$game/release"
cd "$game"

# Czech locale: code page 1250 holds every name.
printf 'Am 01\n' | LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8 "$converter" > out.txt 2> err.txt
check "the conversion reports nothing" test ! -s err.txt
check "wine starts the updater on Am01.txt" wait_for test -s updater.log
check "the updater is handed Am01.txt" grep -qx 'args=1:Am01.txt' updater.log
check "it finds all 4 files the list names" grep -qx 'found=4/4' updater.log
check "names are in code page 1250" grep -qa $'missions\\\\__Am\\\\01\\\\zad\xe1n\xed mise.txt#' Am01.txt
echo "the updater's start under wine: $(grep '^show=' updater.log)"

# Code page 1252 has no "ř": refused, nothing replaced, no second start.
cp Am01.txt before.txt
printf 'Am 01\n' | LANG=C.UTF-8 LC_ALL=C.UTF-8 "$converter" > out.txt 2> err.txt
check "a name code page 1252 lacks is refused" grep -qx 'Chyba: Neplatný název souboru v misi!' err.txt
check "and the list stays as it was" cmp -s Am01.txt before.txt
sleep 1
check "no updater started for it" test "$(wc -l < updater.runs)" -eq 1

echo "$failures failed"
[ "$failures" -eq 0 ]
