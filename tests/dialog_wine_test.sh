#!/usr/bin/env bash
# The Windows program under Wine in a virtual X server, used with the keyboard as
# a player would. Run inside xvfb-run:
#   dialog_wine_test.sh CONVERTER.exe STAND_IN_UPDATER.exe DIALOG_NOTICE.exe SCREENSHOT.png
set -uo pipefail
converter=$1 stand_in=$2 notice_reader=$3 shot=$4
source "$(dirname "$0")/e2e_common.sh"

export WINEDEBUG=-all
export LANG=cs_CZ.UTF-8 LC_ALL=cs_CZ.UTF-8  # ANSI code page 1250, as in Czech Windows
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers asking
# A prefix of its own: a Wine desktop started earlier without this X server (as the
# unit tests' is) would leave the program without a display.
export WINEPREFIX="$(dirname "$shot")/.wine-dialog"
wine=/usr/lib/wine/wine64
"$wine" wineboot </dev/null >/dev/null 2>&1
# Debian's Wine 8 does not look for its own fonts (package fonts-wine) where they are
# installed, but finds them in the prefix's Fonts folder; Marlett draws the caption's
# close box, which is otherwise the letter "r".
ln -sf /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
# Without a window manager Wine draws the caption itself, so the title shows.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
  </dev/null >/dev/null 2>&1

game=$(mktemp -d)
pid=""
# Its Wine desktop must not outlive this X server.
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; wineserver -k; remove_game "$game"' EXIT
mkdir -p "$game/__Am/01" "$game/__Am/15a"
echo "mapa" > "$game/__Am/01/mapa.dat"
echo "mapa" > "$game/__Am/15a/mapa.dat"
cp "$converter" "$game/korvidane-convert.exe"
cp "$stand_in" "$game/vozedudo.exe"
touch "$game/release"  # the stand-in updater ends at once
cd "$game"

"$wine" korvidane-convert.exe </dev/null >/dev/null 2>&1 &
pid=$!

# The notice's text, and whether it fits its control uncut.
notice_is() {
  test "$("$wine" "$notice_reader" 2>/dev/null | tr -d '\r')" = "$(printf '%s\nfits' "$1")"
}

dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^Převod misí do Korvidane$' | head -n 1)
if [ -z "$dialog" ]; then
  fail "the dialog titled 'Převod misí do Korvidane' appears"
  exit 1
fi
pass "the dialog titled 'Převod misí do Korvidane' appears"
xdotool windowfocus --sync "$dialog"
sleep 1  # let it paint before the picture is taken
import -window root "$shot"
check "the notice shows its own text" notice_is "Spustí vozedudo"

# Enter presses the default button: Am 01.
xdotool key Return
check "Return converts Am 01 and starts the updater" wait_for test -s updater.log
check "the updater is handed Am01.txt" grep -qx 'args=1:Am01.txt' updater.log
check "the updater runs hidden" grep -qx 'show=0' updater.log
check "Am01.txt is byte-exact" test "$(hex_of Am01.txt)" = "$(list_hex Am 01 mapa.dat)"
check "Am01.kdp is byte-exact" test "$(hex_of Am01.kdp)" = "$stub_hex"
check "the updater saw both files complete" test "$(hex_of seen.kdp)" = "$stub_hex"
check "the notice says Am 01 was converted" wait_for notice_is "Hotovo: Am 01"

# Tab order: button, campaign, mission. Ru and 15a, then Enter.
xdotool key Tab Down Tab End Return
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Chyba$' | head -n 1)
check "Ru 15a brings the box 'Chyba'" test -n "$box"
check "and the notice no longer shows the earlier success" notice_is "Spustí vozedudo"
sleep 0.5
import -window root "${shot%.png}-error.png"
check "a missing mission creates nothing" test ! -e Ru15a.txt -a ! -e Ru15a.kdp
xdotool windowfocus --sync "$box" key Return
check "OK dismisses the box" wait_for sh -c "! xdotool search --name '^Chyba$' >/dev/null"

# The dialog is still usable: back to Am, on 15a, convert again.
xdotool windowfocus --sync "$dialog" key shift+Tab Up Tab Return
check "the dialog converts again after the box" \
  wait_for sh -c 'test "$(wc -l < updater.runs)" -eq 2'
check "the second run is Am15a.txt" test "$(tail -n 1 updater.runs)" = "Am15a.txt"
# The widest notice: M is the widest of the codes' letters.
check "the notice says Am 15a was converted, uncut" wait_for notice_is "Hotovo: Am 15a"
sleep 0.5
import -window root "${shot%.png}-converted.png"

# Without the updater beside it, Am 01's files are written and the player is told.
rm vozedudo.exe Am01.txt
xdotool windowfocus --sync "$dialog" key Home Return
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Chyba$' | head -n 1)
check "a missing updater brings the box 'Chyba'" test -n "$box"
check "and the notice does not say it converted" notice_is "Spustí vozedudo"
sleep 0.5
import -window root "${shot%.png}-no-updater.png"
check "and the files are written all the same" test "$(hex_of Am01.txt)" = "$(list_hex Am 01 mapa.dat)"
xdotool windowfocus --sync "$box" key Return
check "OK dismisses it" wait_for sh -c "! xdotool search --name '^Chyba$' >/dev/null"

# A box in Czech letters shows them as they are, whatever the code page.
mkdir "$game/__Am/02"
echo "mapa" > "$game/__Am/02/Жук.dat"  # a name code page 1250 cannot hold
xdotool windowfocus --sync "$dialog" key Down Return
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Chyba$' | head -n 1)
check "the box says in Czech that a name is refused" \
  test "$("$wine" "$notice_reader" box 2>/dev/null | tr -d '\r')" = "Neplatný název souboru v misi!"
xdotool windowfocus --sync "$box" key Return
check "OK dismisses that one too" wait_for sh -c "! xdotool search --name '^Chyba$' >/dev/null"

xdotool windowfocus --sync "$dialog" key Escape
if ! timeout 20 tail --pid="$pid" -f /dev/null; then
  kill "$pid"  # a dialog that stays open must not hold up the run
fi
wait "$pid"
code=$?
check "Escape ends the program with exit code 0 (got $code)" test "$code" -eq 0

echo "$failures failed"
[ "$failures" -eq 0 ]
