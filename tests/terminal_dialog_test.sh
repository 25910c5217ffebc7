#!/usr/bin/env bash
# The terminal program driven through a pipe and through a terminal, in a temporary
# game folder with a stand-in updater.
#   terminal_dialog_test.sh KORVIDANE_CONVERT STAND_IN_UPDATER
set -uo pipefail
converter=$1 stand_in=$2
source "$(dirname "$0")/e2e_common.sh"

end_game() { remove_game "$game"; }
trap end_game EXIT
runs_at_least() { test "$(lines_of updater.runs)" -ge "$1"; }

echo "== a scripted session"
new_game "$stand_in"
# The converter's own exit code: one that stops reading early may end the printf
# with SIGPIPE first.
printf 'Ru 12a\n\nAm 05\nxyz\n12\nq\nRu 12a\n' | "$converter" > out.txt 2> err.txt
code=${PIPESTATUS[1]}
check "q ends with exit code 0 (got $code)" test "$code" -eq 0
check "the dialog shows its title" grep -qx 'Převod misí do Korvidane' out.txt
check "and its label" grep -qx 'Zvolte misi pro převod:' out.txt
check "both lists in table order" grep -q '01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 12a 13a 14a 15a' out.txt
check "Am 01 is selected at start" grep -q 'Zvoleno: Am 01 >' out.txt
wait_for sh -c 'test "$(wc -l < updater.runs)" -ge 3'
sleep 0.3
check "Ru 12a converted twice, then Am 12; nothing after q" \
  test "$(sort updater.runs)" = "$(printf 'Am12.txt\nRu12a.txt\nRu12a.txt')"
check "Ru12a.txt is byte-exact" test "$(hex_of Ru12a.txt)" = "$(list_hex Ru 12a mapa.dat)"
check "Ru12a.kdp is byte-exact" test "$(hex_of Ru12a.kdp)" = "$stub_hex"
check "the updater saw the files complete" test "$(hex_of seen.kdp)" = "$stub_hex"
check "a missing mission says so on stderr" grep -qx 'Chyba: Mise neexistuje!' err.txt
check "a missing mission creates nothing" test ! -e Am05.txt -a ! -e Am05.kdp
check "an unknown code names the codes that exist, the missions on a line of their own" \
  sh -c "grep -A1 -x 'Neznámý kód „xyz“. Kampaně: Am Ru.' out.txt |
         grep -qx 'Mise: 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 12a 13a 14a 15a.'"
check "the selection survives an unknown code" grep -qx 'Převedeno: Am 12 (vozedudo.exe spuštěn)' out.txt
check "each conversion that worked says so" \
  test "$(grep -c '^Převedeno: Ru 12a (vozedudo.exe spuštěn)$' out.txt)" -eq 2
check "one that failed only says why" test "$(grep -c 'Převedeno' out.txt)" -eq 3
end_game

echo "== an updater that has ended is no zombie while the dialog is open"
new_game "$stand_in"
mkfifo input
"$converter" < input > /dev/null 2>&1 &
converter_pid=$!
exec 3> input
printf 'Am 12\n' >&3
# The states of the converter's children (Z: a zombie).
child_states() {
  local stat line
  for stat in /proc/[0-9]*/stat; do
    read -r line < "$stat" 2>/dev/null || continue
    set -- ${line##*) }
    [ "$2" = "$converter_pid" ] && echo "$1"
  done
}
none_running() { ! child_states | grep -qv Z; }
wait_for test -e updater.done
wait_for none_running
check "no child is left to reap (states: $(child_states | tr '\n' ' '))" test -z "$(child_states)"
exec 3>&-
wait "$converter_pid"
end_game

echo "== Esc, end of input, arguments"
new_game "$stand_in"
printf '\033\nAm 12\n' | "$converter" --help anything > /dev/null 2>&1
code=${PIPESTATUS[1]}
check "Esc ends with exit code 0 and nothing converted (got $code)" test "$code" -eq 0 -a ! -e Am12.txt
printf 'Ru 12a' | "$converter" > /dev/null 2>&1
code=$?
check "a last line without line end converts, then the end of input exits 0" \
  test "$code" -eq 0 -a -e Ru12a.kdp
"$converter" < /dev/null > /dev/null 2>&1
check "empty input exits 0" test "$?" -eq 0
wait_for runs_at_least 1  # the updater Ru 12a started, before its folder goes
end_game

echo "== garbage"
new_game "$stand_in"
# A "q" in the noise may end it early; the writers' broken pipes do not count.
head -c 300000 /dev/urandom | tr -d '\033' | "$converter" > /dev/null 2>&1
code=${PIPESTATUS[2]}
check "binary input never crashes it (exit 0, got $code)" test "$code" -eq 0
head -c 2000000 /dev/zero | tr '\0' 'x' | "$converter" > out.txt 2>&1
code=${PIPESTATUS[2]}
check "a 2 MB line is refused (exit 0, got $code)" test "$code" -eq 0
check "without a crash or a conversion" test ! -e Am01.txt
end_game

echo "== lines longer than the buffer"
new_game "$stand_in"
{
  printf 'Am 12\n'
  printf 'Ru%251s12a\n' ''  # cut at the buffer's end, it would read "Ru 12"
  printf '\n'
  head -c 1000000 /dev/zero | tr '\0' ' '
  printf 'Ru 12a\nq\n'
} | "$converter" > out.txt 2> err.txt
code=${PIPESTATUS[1]}
check "exit code 0 (got $code)" test "$code" -eq 0
wait_for runs_at_least 2
sleep 0.3
check "a long line converts nothing and keeps the selection" \
  test "$(cat updater.runs)" = "$(printf 'Am12.txt\nAm12.txt')"
check "nor is another mission tried" test ! -s err.txt
check "each long line is refused with a message" \
  test "$(grep -c 'Řádek je delší než 255 bajtů' out.txt)" -eq 2
end_game

echo "== a closed or full output"
for output in closed-pipe /dev/full file-size-limit; do
  new_game "$stand_in"
  if [ "$output" = closed-pipe ]; then
    # The reader is gone before the first line arrives.
    { sleep 0.5; printf 'Ru 12a\nAm 12\n'; } | "$converter" 2>&1 | true
    code=${PIPESTATUS[1]}
  elif [ "$output" = file-size-limit ]; then
    # A log that has reached the size limit (ulimit -f) takes no more.
    head -c 1024 /dev/zero > full.log
    (ulimit -f 1 && printf 'Ru 12a\nAm 12\n' | "$converter" >> full.log 2>&1)
    code=$?
    rm -f full.log
  else
    printf 'Ru 12a\nAm 12\n' | "$converter" > /dev/full 2>&1
    code=$?
  fi
  check "$output: the program goes on (exit 0, got $code)" test "$code" -eq 0
  wait_for runs_at_least 2
  check "$output: every line is converted" \
    test "$(sort updater.runs)" = "$(printf 'Am12.txt\nRu12a.txt')"
  end_game
done

echo "== a terminal"
new_game "$stand_in"
keys() {
  sleep 0.5; printf 'ru 12A\r'      # codes in any case
  sleep 0.5; printf '\033'          # an arrow key does not end the program,
  sleep 0.1; printf '[A'            # even with its bytes apart (a slow link)
  sleep 0.5; printf 'x\177\r'       # typed and erased: an empty line converts again
  sleep 0.5; printf 'am 05\r'        # a missing mission
  sleep 0.5; printf '\033'          # Esc on its own ends it at once
  sleep 0.5; printf 'Am 12\r'
  sleep 0.5
}
keys | timeout 20 script -qec "$converter" /dev/null > out.txt 2>&1
code=${PIPESTATUS[1]}
check "Esc ends the program on a terminal with exit code 0 (got $code)" test "$code" -eq 0
wait_for test -e updater.runs
sleep 0.3
check "typed codes convert and an arrow key is ignored" \
  test "$(cat updater.runs 2>/dev/null)" = "$(printf 'Ru12a.txt\nRu12a.txt')"
check "nothing is read after Esc" test ! -e Am12.txt
check "a conversion that worked says so on the screen" \
  test "$(grep -c 'Převedeno: Ru 12a (vozedudo.exe spuštěn)' out.txt)" -eq 2
check "one that failed only says why" \
  sh -c "grep -q 'Chyba: Mise neexistuje!' out.txt && ! grep -q 'Převedeno: Am 05' out.txt"

echo "$failures failed"
[ "$failures" -eq 0 ]
