# Guest side of the case vocabulary (busybox sh): the run* lines run, the
# expect* lines are the host's. Each case's files go out on fd 3, gzipped
# and base64-encoded between marker lines.

# No run may take longer; a hung one is killed and shows as status 137.
RUN_LIMIT=20

# Runs CMD (one simple command) as USER with the user's groups in place of
# the calling subshell: every step execs, so a background run's $! is the
# program itself and Ctrl-C reaches it.
as_user() {
  exec timeout -s KILL "$RUN_LIMIT" su -s /bin/sh "$1" -c "exec $2"
}

# A line to the bridge's marks (the boards boot); the port is drained at
# close, so the bridge has it before anything after reaches the boards.
mark() {
  [ -z "${MARKS:-}" ] || echo "$1" >"$MARKS"
}

# The bridge's boards back to their power-on state, as a fresh vorndiag-sim has them.
power_on() { mark '!power-on'; }

kcase() {
  CASE_NAME=$1
  CASE_DIR=/tmp/cases/$CASE_NAME
  mkdir -p "$CASE_DIR"
  [ $# -gt 1 ] && shift
  mark "$CASE_NAME begin"
  "$@"
  mark "$CASE_NAME end"
  for file in "$CASE_DIR"/*; do
    echo "==VORN== file $CASE_NAME ${file##*/}" >&3
    gzip -c "$file" | base64 >&3
    echo "==VORN== end" >&3
  done
  echo "==VORN== complete $CASE_NAME" >&3
}

run() {
  (as_user "$1" "$2") </dev/null >"$CASE_DIR/stdout" 2>"$CASE_DIR/stderr"
  echo $? >"$CASE_DIR/status"
}

run_fed() {
  printf '%b' "$2" >"$CASE_DIR/stdin"
  (as_user "$1" "$3") <"$CASE_DIR/stdin" >"$CASE_DIR/stdout" 2>"$CASE_DIR/stderr"
  echo $? >"$CASE_DIR/status"
}

# Ctrl-C to PID, its exit status into FILE. A zombie still takes signals,
# so whether it still runs is read from /proc.
interrupt() {
  if grep -q '^State:[[:space:]]*[^Z]' "/proc/$1/status" 2>/dev/null; then
    kill -INT "$1"
    wait "$1"
    echo $? >"$2"
  else
    wait "$1"
    echo "ended before Ctrl-C with $?" >"$2"
  fi
}

run_interrupted() {
  as_user "$1" "$3" </dev/null >"$CASE_DIR/stdout" 2>"$CASE_DIR/stderr" &
  sleep "$2"
  interrupt $! "$CASE_DIR/status"
}

hold() {
  as_user "$1" "$2" </dev/null >"$CASE_DIR/held.stdout" 2>&1 &
  HELD=$!
  sleep 1
}

release() { interrupt "$HELD" "$CASE_DIR/held.status"; }

keep() { cp "$1" "$CASE_DIR/" 2>/dev/null; }

expect_status() { :; }
expect_output() { :; }
expect_empty_bus_map() { :; }
expect_held_status() { :; }
expect_kept() { :; }
expect_as_sim() { :; }
expect_lines_as_sim() { :; }
expect_account_as_sim() { :; }
expect_emulated_check_as_sim() { :; }
expect_no_board_reset() { :; }
expect_pass_accesses() { :; }
expect_replays() { :; }
