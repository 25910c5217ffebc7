#!/usr/bin/env bash
# The terminal dialog in a real terminal (tmux), driven with keys as a player
# would, in a temporary game folder with a stand-in updater.
#   terminal_keys_test.sh KORVIDANE_CONVERT STAND_IN_UPDATER
set -uo pipefail
converter=$1 stand_in=$2
source "$(dirname "$0")/e2e_common.sh"
command -v tmux > /dev/null || { echo "FAIL: tmux is missing (scripts/install-deps.sh)"; exit 1; }

new_game "$stand_in"

# A server of our own, so that no other tmux session is touched; its socket goes
# with the game folder (tmux leaves it behind). It runs commands through SHELL, else
# the user's login shell, which may be nologin (user nobody); bash runs a single
# command in its own place, so the pane's process is that bash.
tmux=(env SHELL=/bin/bash tmux -S "$game/tmux.socket" -f /dev/null)
trap '"${tmux[@]}" kill-server 2>/dev/null; remove_game "$game"' EXIT
# bash, for its job control: Ctrl-Z and fg; without history, or what the test types
# would go into the user's ~/.bash_history.
"${tmux[@]}" new-session -d -x 80 -y 24 -c "$game" "env PS1='$ ' bash --norc --noprofile +o history"

screen() { "${tmux[@]}" capture-pane -p "$@"; }
shows() { screen | grep -qF -- "$1"; }
shows_styled() { screen -e | grep -qF -- "$1"; }
keys() { "${tmux[@]}" send-keys "$@"; }
runs() { cat updater.runs 2>/dev/null | tr '\n' ' '; }
runs_are() { test "$(runs)" = "$1"; }
cursor_at() { test "$("${tmux[@]}" display-message -p '#{cursor_x}')" -eq "$1"; }
# stty -a shows the line mode and echo on again.
terminal_restored() {
  local settings
  settings=$(screen -J)
  grep -qE '(^| )icanon( |$)' <<< "$settings" && grep -qE '(^| )echo( |$)' <<< "$settings"
}
# Row of the last line holding a text, counted from 1; 0 when none does.
last_row_of() { screen | grep -nF -- "$1" | tail -1 | cut -d: -f1 | grep . || echo 0; }
below() { test "$(last_row_of "$1")" -gt "$(last_row_of "$2")"; }
shell_in_front() { test "$("${tmux[@]}" display-message -p '#{pane_current_command}')" = bash; }

check "a shell in tmux" wait_for shows '$'
keys "\"$converter\"; echo \"exit=\$?\"; stty -a" Enter
if ! wait_for shows 'Zvolte misi pro převod:  [Am ▾]  [01  ▾]   [ Proveď převod ]'; then
  fail "the dialog opens with Am and 01"
  screen
  exit 1
fi
check "the button has the focus" shows_styled $'\033[7m[ Proveď převod ]'

keys Tab Down
check "Tab, then Down on the campaign list selects Ru" wait_for shows '[Ru ▾]'
keys Tab End Up Up Up
check "Tab, End and Up on the mission list select 12a" wait_for shows '[12a ▾]'
check "which has the focus" shows_styled $'\033[7m[12a ▾]'
keys Enter
check "Enter converts Ru 12a" wait_for runs_are 'Ru12a.txt '

keys Home Enter
check "a missing mission shows the message" wait_for shows 'Chyba: Mise neexistuje!'
check "and the dialog again below it" wait_for below 'Převod misí do Korvidane' 'Chyba: Mise neexistuje!'

keys -l 'am 21'
keys Left BSpace End 2 Home
check "codes are typed and edited in the command line" wait_for shows 'Napište kódy: am 12'
check "Home takes the cursor to the line's start" wait_for cursor_at 14
keys Enter
check "and convert on Enter" wait_for runs_are 'Ru12a.txt Am12.txt '

keys Escape q  # Esc, with a key right behind it
check "Esc ends the program with exit code 0" wait_for shows 'exit=0'
check "and gives the terminal back as it was" terminal_restored

clear_screen="printf '\\033[H\\033[2J'"
keys C-u "$clear_screen; \"$converter\"" Enter
wait_for shows 'Napište kódy:'
keys -l 'ru'
wait_for shows 'Napište kódy: ru'
keys C-z
check "Ctrl-Z stops it" wait_for shows 'Stopped'
keys 'stty -a' Enter
check "with the terminal as it was" wait_for terminal_restored
keys 'fg' Enter
check "fg draws the dialog again, with what was typed" \
  wait_for below 'Napište kódy: ru' 'Stopped'
keys Escape
check "and Esc still ends it" wait_for shell_in_front

# Ended by a signal under a shell that does not mend the terminal itself, as an
# interactive bash would.
keys C-u "$clear_screen; sh -c '\"$converter\"; stty -a'" Enter
wait_for shows 'Napište kódy:'
pane=$("${tmux[@]}" display-message -p '#{pane_pid}')
pkill -TERM -P "$(pgrep -P "$pane" -x sh)"
check "SIGTERM ends it with the terminal as it was" wait_for terminal_restored

# Output redirected: the terminal echoes the typed line, read by lines.
keys C-u "$clear_screen; \"$converter\" > log.txt; echo \"exit=\$?\"" Enter
wait_for grep -q 'Zvoleno: Am 01 >' log.txt 2> /dev/null
keys 'Ru 12a' Enter
check "with output redirected, typed codes show and convert" \
  wait_for runs_are 'Ru12a.txt Am12.txt Ru12a.txt '
check "the typed line was visible" shows 'Ru 12a'
keys q Enter
check "and q ends it" wait_for shows 'exit=0'

[ "$failures" -eq 0 ] || screen
echo "$failures failed"
[ "$failures" -eq 0 ]
