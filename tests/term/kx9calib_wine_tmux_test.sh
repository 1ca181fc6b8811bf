#!/usr/bin/env bash
# kx9calib.exe in a console under Wine, typed at in tmux on the virtual
# stick: Space and the arrow keys through all six steps, the DATA box closed
# with Enter, the EEPROM block checked, then closed with q. Wine's
# console passes the program's escape sequences on to the terminal but counts
# them as text where it wraps lines, and breaks the lines there: the screen
# comes out broken up. So the checks read what the program wrote, as the
# terminal received it (tmux's pipe), with those breaks taken out; and the
# stick's EEPROM file. Every wait is on a condition.
#   kx9calib_wine_tmux_test.sh KX9CALIB.EXE WINE_RUN PREFIX
set -u
exe=${1:?usage: kx9calib_wine_tmux_test.sh KX9CALIB.EXE WINE_RUN PREFIX}
run=${2:?}
prefix=${3:?}
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
exe=$(absolute "$exe")
run=$(absolute "$run")
mkdir -p "$(dirname "$prefix")"
prefix=$(absolute "$prefix")
command -v tmux >/dev/null || { echo "tmux is not installed: skipped"; exit 77; }
[ -x /usr/lib/wine/wine64 ] || { echo "Wine is not installed: skipped"; exit 77; }

. "$(dirname "${BASH_SOURCE[0]}")/tmux_session.sh"
# The console has no display: its Wine prefix is its own, since one whose
# server was started without a display would open no window for the
# dialog tests.
trap 'stop_server; WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
write_zero_config
written() { tr -d '\r\n' < "$work/written"; }
wait_source=written
wait_limit=90
shot() { [ -n "${KX9_SCREEN_DIR:-}" ] && screen > "$KX9_SCREEN_DIR/$1.txt"; return 0; }

start_session 120 40 \
  "stty -g > before; KX9_WINEPREFIX='$prefix' '$run' '$exe' --simulate --sim-eeprom stick.bin; echo \"status=\$?\" > status; stty -g > after; echo ALL-DONE; sleep 600"

tmux -S "$sock" pipe-pane -t t -o "cat >> '$work/written'"
wait_for "stick X 8000  Y 8000" 180
keys Space
wait_for "step 1: passed at X 8000, Y 8000"
keys Up
wait_for "stick X 8000  Y 0000"
keys Space
wait_for "step 2: passed at X 8000, Y 0000"
keys Right
wait_for "stick X FFFF  Y 8000"
shot step3
keys Space
wait_for "step 3: passed at X FFFF, Y 8000"
keys Down
wait_for "stick X 8000  Y FFFF"
keys Space
wait_for "step 4: passed at X 8000, Y FFFF"
keys Left
wait_for "stick X 0000  Y 8000"
keys Space
wait_for "step 5: passed at X 0000, Y 8000"
wait_for "Debug"
# The DATA box is open: nothing is written until it is closed.
[ "$(od -An -tx1 -j110 -N2 "$work/stick.bin" | tr -d ' \n')" = ffff ] ||
  fail "the block was written before the DATA box was closed"
keys Enter
for ((i = 0; i < 600; i++)); do
  block=$(od -An -tx1 -j110 -N18 "$work/stick.bin" | tr -s ' \n' ' ')
  [ "$block" = " 00 40 00 40 00 00 00 00 00 81 81 81 81 00 00 00 00 00 " ] && break
  sleep 0.1
done
[ "$block" = " 00 40 00 40 00 00 00 00 00 81 81 81 81 00 00 00 00 00 " ] || fail "EEPROM block:$block"

# q closes as Ctrl+C does in a console that hands Ctrl+C on as a key;
# Wine's sends it as a console event, which closes without the box.
keys q
wait_for "You have completed calibration."
keys Enter
wait_for "ALL-DONE"
grep -qx "status=0" "$work/status" || fail "exit $(cat "$work/status")"
cmp -s "$work/before" "$work/after" || fail "terminal settings differ: $(cat "$work/before") vs $(cat "$work/after")"
echo "1 passed, 0 failed"
