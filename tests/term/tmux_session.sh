# Sourced by the tmux tests: a tmux server of the test's own, its socket and
# its log in a scratch folder ($work) that goes with the test, and the
# helpers that start a session, type at it and read it.
#
# A loaded machine has been seen to lose the server as it started ("server
# exited unexpectedly", and then every wait ran out): a start is checked,
# tried once more, and the server's log is printed whenever one fails, so
# that the failure names its cause rather than the text that never came.
#
#   start_session WIDTH HEIGHT COMMAND   session t running COMMAND in $work
#   stop_server                          the server gone, waited for
#   wait_for TEXT [LIMIT_SECONDS]        polls $wait_source until TEXT shows
#   keys KEY...  screen  fail MESSAGE

work=$(mktemp -d)
# tmux writes its logs to the folder it is started in, named by its pid:
# one folder for each start.
logs="$work/tmux-logs"
# Each server's socket is new, in the test's own folder: removed with it,
# never left in tmux's folder of the machine, and never that of a server
# still on its way out, which takes a connection and drops it as it exits.
starts=0
sock="$work/tmux-$starts.sock"
# What wait_for reads, and how long it waits unless told.
wait_source=screen
wait_limit=60
trap 'stop_server; rm -rf "$work"' EXIT

screen() { tmux -S "$sock" capture-pane -t t -p; }
keys() { tmux -S "$sock" send-keys -t t "$@"; }

# The end of the last start's logs: its server's and that of the client
# that started it.
server_log() {
  local log found=
  for log in "$logs/$starts"/tmux-*.log; do
    [ -e "$log" ] || continue
    found=1
    echo "--- the end of $(basename "$log"):"
    # A client's log ends in a few lines on why it stopped.
    case $log in
      */tmux-client-*) tail -n 8 "$log" ;;
      *) tail -n 25 "$log" ;;
    esac
  done
  [ -n "$found" ] || echo "--- tmux wrote no log"
}

fail() {
  echo "FAIL: $*"
  if tmux -S "$sock" has-session -t t 2>/dev/null; then
    echo "--- screen:"
    screen
  else
    echo "--- the tmux server or its session is gone"
    server_log
  fi
  exit 1
}

wait_for() {
  local limit=${2:-$wait_limit} i shown
  for ((i = 0; i < limit * 10; i++)); do
    if shown=$("$wait_source" 2>/dev/null); then
      grep -qF -- "$1" <<<"$shown" && return 0
    elif ! tmux -S "$sock" has-session -t t 2>/dev/null; then
      fail "the session went while waiting for \"$1\""
    fi
    sleep 0.1
  done
  fail "\"$1\" did not appear within ${limit}s"
}

# The pids of the last start's servers, from their logs' names.
server_pids() {
  local log
  for log in "$logs/$starts"/tmux-server-*.log; do
    [ -e "$log" ] || continue
    log=${log##*-}
    echo "${log%.log}"
  done
}

stop_server() {
  local pid i
  tmux -S "$sock" kill-server 2>/dev/null
  for pid in $(server_pids); do
    for ((i = 0; i < 100; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  done
  rm -f "$sock"
}

start_session() {
  local width=$1 height=$2 command=$3 attempt said pid
  for attempt in 1 2; do
    starts=$((starts + 1))
    sock="$work/tmux-$starts.sock"
    mkdir -p "$logs/$starts"
    if said=$(cd "$logs/$starts" && tmux -v -S "$sock" -f /dev/null new-session -d -s t \
      -x "$width" -y "$height" -c "$work" "$command" 2>&1) &&
      pid=$(tmux -S "$sock" display-message -p -t t '#{pid}' 2>/dev/null) && [ -n "$pid" ]; then
      # Its start is in the log; the rest of the test would only make the
      # log long (SIGUSR2 turns a server's logging off).
      kill -USR2 "$pid"
      return 0
    fi
    echo "tmux did not start (attempt $attempt of 2): ${said:-no session, and nothing said}"
    server_log
    stop_server
  done
  echo "FAIL: tmux did not start"
  exit 1
}

# The configuration's eight fixed values, all zero.
write_zero_config() {
  printf 'Edge_Size = 0; Edge_Reduc = 0; Edge_Shift = 0; Edge_BM = 0;\nCenter_Area = 0; Center_Reduc = 0; Center_Shift = 0; Center_BM = 0;\n' \
    > "$work/kx9JoystickCalibration.txt"
}
