# Helpers shared by the end-to-end tests of the built programs.

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# Polls until a command succeeds; false after about 20 seconds.
wait_for() {
  for _ in $(seq 1 200); do "$@" && return 0; sleep 0.1; done
  return 1
}

hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }

# The 90-byte stub every conversion writes.
stub_hex=3b48c05b0cf27474f2710d5630e0e572f6700c72740e710d02f35cfd5c78b90081b7073678dae3e56262b8d0e4aba3c2c0c0a0c08000ec25b9057a2515250c030400a466050f2200000098000000050000000100000000000000

# Hex of the list of one mission folder holding one file.
list_hex() {  # list_hex CAMPAIGN MISSION FILE
  printf ' %s%s.kdp\r\nmissions\\__%s\\%s\\%s#__%s\\%s\\%s\r\n' "$1" "$2" "$1" "$2" "$3" "$1" "$2" "$3" |
    od -An -v -tx1 | tr -d ' \n'
}

# A fresh game folder, entered: Ru 12a and Am 12 with a map each, the stand-in
# updater as vozedudo.exe, released at once.
new_game() {  # new_game STAND_IN_UPDATER
  game=$(mktemp -d)
  mkdir -p "$game/__Ru/12a" "$game/__Am/12"
  echo "mapa" > "$game/__Ru/12a/mapa.dat"
  echo "mapa" > "$game/__Am/12/mapa.dat"
  cp "$1" "$game/vozedudo.exe"
  touch "$game/release"
  cd "$game"
}

lines_of() { [ -e "$1" ] && wc -l < "$1" || echo 0; }

# Removes a game folder and whatever anyone made in it. What still works in it is
# ended first: a stand-in updater whose log is not yet written would write into the
# folder as it goes.
remove_game() {  # remove_game FOLDER
  local folder
  folder=$(cd "$1" 2>/dev/null && pwd -P) || return 0
  cd /
  wait_for no_process_in "$folder"
  chmod -R u+rwX "$folder" 2>/dev/null
  rm -rf "$folder"
}
# True when no process works in the folder; else ends those that do.
no_process_in() {  # no_process_in FOLDER
  local pids
  pids=$(find /proc -mindepth 2 -maxdepth 2 -name cwd \( -lname "$1" -o -lname "$1/*" \) \
    2>/dev/null | cut -d/ -f3)
  [ -z "$pids" ] && return 0
  kill -KILL $pids 2>/dev/null
  return 1
}
