#!/usr/bin/env bash
# The interactive program under tmux on the virtual stick: type Space and the
# arrow keys through all six steps, read the screen after each, see the DATA
# box, close with Ctrl+C and check that the terminal settings are as before.
# Every wait is on a condition (text on the screen), with a generous limit.
set -u
bin=${1:?usage: kx9calib_tmux_test.sh KX9CALIB}
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
command -v tmux >/dev/null || { echo "tmux is not installed: skipped"; exit 77; }

. "$(dirname "${BASH_SOURCE[0]}")/tmux_session.sh"
write_zero_config

start_session 100 32 \
  "stty -g > before; '$bin' --simulate --sim-eeprom stick.bin; echo \"status=\$?\" > status; stty -g > after; echo ALL-DONE; sleep 600"

wait_for "1.    Plug Joystick to PC"
wait_for "X 8000   Y 8000"
screen | grep -qF "2.    Move" && fail "step 2 shown before any Space"
keys Space
wait_for "2.    Move “Joystick” SLOWLY to reach up"
keys Up
wait_for "X 8000   Y 0000"
keys Space
wait_for "3.    Move “Joystick” SLOWLY to reach right"
keys Right
wait_for "X FFFF   Y 8000"
keys Space
wait_for "4.    Move “Joystick” SLOWLY to reach down"
keys Down
wait_for "X 8000   Y FFFF"
keys Space
wait_for "5.    Move “Joystick” SLOWLY to reach left"
keys Left
wait_for "X 0000   Y 8000"
keys Space
wait_for "─ Debug ─"
wait_for "MultInit XN=81,XP=81,YN=81,YP=81"
wait_for "00 40 00 40 00 00 00 00"
keys Enter
wait_for "6.    Unplug USB of Joystick."
screen | grep -qF "─ Debug ─" && fail "the DATA box is still open"
# No picture in step 6.
screen | grep -qF "▀" && fail "a picture is drawn in step 6"

keys C-c
wait_for "You have completed calibration."
keys Enter
wait_for "ALL-DONE"
grep -qx "status=0" "$work/status" || fail "exit $(cat "$work/status")"
cmp -s "$work/before" "$work/after" || fail "terminal settings differ: $(cat "$work/before") vs $(cat "$work/after")"
block=$(od -An -tx1 -j110 -N18 "$work/stick.bin" | tr -s ' \n' ' ')
[ "$block" = " 00 40 00 40 00 00 00 00 00 81 81 81 81 00 00 00 00 00 " ] || fail "EEPROM block:$block"

# SIGTERM (a closing terminal window, a shutdown) closes the dialog in order
# and gives the terminal back as well.
stop_server
rm -f "$work/before" "$work/after" "$work/status"
start_session 100 32 \
  "stty -g > before; sh -c 'echo \$\$ > pid; exec \"$bin\" --simulate'; echo \"status=\$?\" > status; stty -g > after; echo ALL-DONE; sleep 600"
wait_for "1.    Plug Joystick to PC"
kill -TERM "$(cat "$work/pid")"
wait_for "ALL-DONE"
grep -qx "status=0" "$work/status" || fail "exit after SIGTERM: $(cat "$work/status")"
cmp -s "$work/before" "$work/after" || fail "terminal settings differ after SIGTERM"
echo "1 passed, 0 failed"
