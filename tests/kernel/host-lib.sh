# Host side of the case vocabulary (bash): the expect* lines check what
# the guest sent back under $RESULTS/<boot>/<case>/, the rest are the
# guest's. kcase prints one PASS or FAIL line per case and counts them.

passed=0
failed=0

kcase() {
  CASE_NAME=$1
  [ $# -gt 1 ] && shift
  CASE_DIR=$RESULTS/$BOOT/$CASE_NAME
  problems=()
  notes=()
  [ -z "$FIXTURES" ] || rm -rf "${FIXTURES:?}/$CASE_NAME"
  if [ -f "$CASE_DIR/complete" ]; then
    "$@"
  else
    problems+=("no result came back from the guest")
  fi
  if [ ${#problems[@]} -eq 0 ]; then
    echo "PASS $BOOT/$CASE_NAME"
    [ ${#notes[@]} -eq 0 ] || printf '    %s\n' "${notes[@]}"
    passed=$((passed + 1))
  else
    echo "FAIL $BOOT/$CASE_NAME"
    printf '    %s\n' "${problems[@]}" "${notes[@]}"
    cat "$CASE_DIR/stdout" "$CASE_DIR/stderr" 2>/dev/null | tr '\r' '\n' | head -n 6 |
      cut -c 1-100 | sed 's/^/    | /'
    failed=$((failed + 1))
  fi
}

run() { :; }
run_fed() { :; }
run_interrupted() { :; }
hold() { :; }
release() { :; }
keep() { :; }
power_on() { :; }

expect_status() {
  local got
  got=$(cat "$CASE_DIR/status")
  [ "$got" = "$1" ] || problems+=("exit status $got, expected $1")
}

expect_held_status() {
  local got
  got=$(cat "$CASE_DIR/held.status" 2>/dev/null)
  [ "$got" = "$1" ] || problems+=("the program held in the background: exit status $got, expected $1")
}

expect_output() {
  grep -Eqs -- "$1" "$CASE_DIR/stdout" "$CASE_DIR/stderr" ||
    problems+=("no output line matches /$1/")
}

# The 16 lines under the heading, exactly.
expect_empty_bus_map() {
  local want got
  want=$(printf '   %x        No Board        ff\n' {0..15})
  got=$(grep -A16 -x '  Board Addr  Type         Ver\.' "$CASE_DIR/stdout" | tail -n +2)
  [ "$got" = "$want" ] || problems+=("the bus map is not 16 blocks of 'No Board        ff'")
}

# A kept file goes to the fixtures directory with the run's stdout and stdin.
expect_kept() {
  if [ ! -s "$CASE_DIR/$1" ]; then
    problems+=("$1 was not written or is empty")
  elif [ -n "$FIXTURES" ]; then
    mkdir -p "$FIXTURES/$CASE_NAME"
    cp "$CASE_DIR/$1" "$CASE_DIR/stdout" "$FIXTURES/$CASE_NAME/"
    [ ! -f "$CASE_DIR/stdin" ] || cp "$CASE_DIR/stdin" "$FIXTURES/$CASE_NAME/"
  fi
}

# The boards boot: what the host's vorndiag-sim prints with the same rig
# and input. A looping test (SECS not 0) is compared by its distinct lines,
# repeated words squeezed and the cycle counts left out, so that only the
# number of passes may differ.
distinct_lines() {
  tr '\r' '\n' <"$1" | sed -E 's/([^ ]+ +)\1+/\1/g; s/^ *[0-9]+ test cycles,/ N test cycles,/' |
    awk '!seen[$0]++'
}

# Whether one list of lines is the start of the other.
one_starts_other() { # FILE FILE
  local a b
  a=$(wc -l <"$1") b=$(wc -l <"$2")
  if [ "$a" -le "$b" ]; then head -n "$a" "$2" | cmp -s "$1" -; else head -n "$b" "$1" | cmp -s "$2" -; fi
}

# vorndiag-sim on RIG with the case's input, into sim.stdout and
# sim.stderr, its status in sim_status; SECS not 0: Ctrl-C after SECS.
# SIM_TRACE: where its port trace goes (none when empty).
run_sim() { # RIG SECS ARGS...
  local rig=$1 secs=$2 input=/dev/null
  shift 2
  [ ! -f "$CASE_DIR/stdin" ] || input=$CASE_DIR/stdin
  if [ "$secs" = 0 ]; then set -- "$BOARDS_BIN/vorndiag-sim" "$@"; else
    set -- timeout --preserve-status -s INT "$secs" "$BOARDS_BIN/vorndiag-sim" "$@"
  fi
  VORNSIM_RIG=$RIGS/$rig.toml VORNSIM_TRACE=${SIM_TRACE:-} "$@" <"$input" \
    >"$CASE_DIR/sim.stdout" 2>"$CASE_DIR/sim.stderr"
  sim_status=$?
}

expect_as_sim() { # RIG LOOP ARGS...
  local rig=$1 loop=$2
  shift 2
  if [ "$loop" = 0 ]; then
    run_sim "$rig" 0 "$@"
    cmp -s "$CASE_DIR/sim.stdout" "$CASE_DIR/stdout" ||
      problems+=("standard output is not vorndiag-sim's: $(diff "$CASE_DIR/sim.stdout" "$CASE_DIR/stdout" | head -n 3 | tr '\n' ' ')")
  else
    run_sim "$rig" 0.5 "$@"
    if [ "$loop" = 1 ]; then
      distinct_lines "$CASE_DIR/sim.stdout" >"$CASE_DIR/sim.lines"
      distinct_lines "$CASE_DIR/stdout" >"$CASE_DIR/lines"
    else
      tr '\r' '\n' <"$CASE_DIR/sim.stdout" | head -n "$loop" >"$CASE_DIR/sim.lines"
      tr '\r' '\n' <"$CASE_DIR/stdout" | head -n "$loop" >"$CASE_DIR/lines"
      [ "$(wc -l <"$CASE_DIR/lines")" = "$loop" ] || problems+=("fewer than $loop lines")
    fi
    one_starts_other "$CASE_DIR/sim.lines" "$CASE_DIR/lines" ||
      problems+=("its lines are not vorndiag-sim's: $(diff "$CASE_DIR/sim.lines" "$CASE_DIR/lines" | head -n 3 | tr '\n' ' ')")
  fi
  expect_status "$sim_status"
}

# The lines of STREAM (stdout, stderr) that match PATTERN, the program's
# name left out, of the guest's run (lines) and of the last vorndiag-sim
# run (sim.lines).
pick_lines() { # STREAM PATTERN
  grep -v '^vornsim:' "$CASE_DIR/sim.$1" | grep -E "$2" | sed 's/^[^ :]*: //' >"$CASE_DIR/sim.lines"
  grep -E "$2" "$CASE_DIR/$1" | sed 's/^[^ :]*: //' >"$CASE_DIR/lines"
  [ -s "$CASE_DIR/lines" ] || problems+=("no $1 line matches /$2/")
}

same_lines() {
  cmp -s "$CASE_DIR/sim.lines" "$CASE_DIR/lines" ||
    problems+=("not vorndiag-sim's: $(diff "$CASE_DIR/sim.lines" "$CASE_DIR/lines" | head -n 3 | tr '\n' ' ')")
}

# The lines of STREAM that match PATTERN and the status as vorndiag-sim
# gives them on RIG; none would be no proof.
expect_lines_as_sim() { # STREAM PATTERN RIG ARGS...
  local stream=$1 pattern=$2 rig=$3
  shift 3
  [ -n "$BOARDS_BIN" ] || return 0
  run_sim "$rig" 0 "$@"
  pick_lines "$stream" "$pattern"
  same_lines
  expect_status "$sim_status"
}

# A looping test ended by Ctrl-C on a board set where a board stops
# answering: its account lines on standard error, and the warning, as
# vorndiag-sim's, but for the counts. How many passes ran, and so how many
# cycles went unanswered, depends on the time a pass takes and when the
# Ctrl-C came; and the bridge counts its own accesses to the boards, not
# the tool's (no status writes, the guest kernel's status reads), so the
# board stops at another cycle of the run. Each account line must show
# cycles answered before the stop, and unanswered ones.
expect_account_as_sim() { # RIG ARGS...
  local line
  run_sim "$1" 0.5 "${@:2}"
  pick_lines stderr 'no board answered|rate generator'
  while read -r line; do
    [[ $line =~ :\ ([0-9]+)\ of\ ([0-9]+)\ cycles: ]] || continue
    [ "${BASH_REMATCH[1]}" -gt 0 ] && [ "${BASH_REMATCH[1]}" -lt "${BASH_REMATCH[2]}" ] ||
      problems+=("not cycles answered before the stop and unanswered after: $line")
  done <"$CASE_DIR/lines"
  sed -Ei 's/: [0-9]+ of [0-9]+ cycles:/: N of M cycles:/' "$CASE_DIR/lines" "$CASE_DIR/sim.lines"
  same_lines
  expect_status "$sim_status"
}

# check on QEMU's empty port through the kernel's software EPP: its lines
# and status as vorndiag-sim's on RIG, the encoder line's unanswered count
# raised by the timeout checks in vorndiag-sim's trace of the same run that
# close address cycles alone (the emulation reports those cycles short, the
# simulated bus answers them; docs/reliability.md). An answered check reads
# bit 0 clear: an even last digit.
expect_emulated_check_as_sim() { # PATTERN RIG ARGS...
  local pattern=$1 lone
  [ -n "$BOARDS_BIN" ] || return 0
  SIM_TRACE=$CASE_DIR/sim.trace run_sim "$2" 0 "${@:3}"
  lone=$(awk '$1 == "R" && $2 == 1 { if (alone && $3 ~ /[02468ace]$/) n++; alone = 0; next }
    $1 == "W" && $2 == 3 { alone = 1; next }
    $2 == 4 { alone = 0 }
    END { print n + 0 }' "$CASE_DIR/sim.trace")
  pick_lines stdout "$pattern"
  awk -v lone="$lone" 'match($0, /, [0-9]+ unanswered$/) {
      $0 = substr($0, 1, RSTART + 1) (substr($0, RSTART + 2) + lone) " unanswered" } 1' \
    "$CASE_DIR/sim.lines" >"$CASE_DIR/sim.raised" && mv "$CASE_DIR/sim.raised" "$CASE_DIR/sim.lines"
  same_lines
  expect_status "$sim_status"
  notes+=("vorndiag-sim's unanswered count raised by $lone address cycles alone")
}

# The bridge's count of nInit falls at a mark: "parportN LABEL: ... resets=N".
resets_at() { # PORT LABEL
  awk -v head="$1 $2:" 'index($0, head) == 1 { sub(/.* resets=/, ""); print $1; exit }' "$BRIDGE_STATS"
}

expect_no_board_reset() {
  local port before after
  for port in parport0 parport1 parport2; do
    before=$(resets_at "$port" "$CASE_NAME begin")
    after=$(resets_at "$port" "$CASE_NAME end")
    if [ -z "$before" ] || [ -z "$after" ]; then
      problems+=("the bridge has no counts for this case")
      return
    fi
    [ "$before" = "$after" ] ||
      problems+=("$port: the boards saw $((after - before)) reset(s), nInit low")
  done
}

# The shortest run of accesses that repeats through the middle half of the
# case in parport0's trace (offsets, and the address of each selection) is one
# pass of the test.
expect_pass_accesses() {
  local pass
  pass=$(gzip -dc "$BRIDGE_TRACE" | awk -v first="# mark $CASE_NAME begin" -v last="# mark $CASE_NAME end" '
    $0 == first { on = 1; next }
    $0 == last { exit }
    on && /^[RW] / { key[n] = $1 $2 ($2 == 3 ? $3 : ""); status[n++] = ($1 $2 == "R1") }
    END {
      # from a quarter in, over half the case (three periods at least)
      from = int(n / 4)
      for (p = 1; p <= 4000 && from + 4 * p < n; p++) {
        upto = from + (3 * p > n / 2 ? 3 * p : n / 2)
        if (upto + p > n) upto = n - p
        same = 1
        for (i = from; i < upto && same; i++) same = key[i] == key[i + p]
        if (same) {
          for (i = from; i < from + p; i++) reads += status[i]
          print p, reads
          exit
        }
      }
    }')
  if [ -z "$pass" ]; then
    problems+=("no repeating pass in the bridge's trace")
  else
    notes+=("bridge: ${pass% *} accesses per pass, ${pass#* } of them status reads")
  fi
}

# A recording replays on the host's vorndiag-sim to the guest's status and output.
expect_replays() { # TRACE
  local args status input=/dev/null
  args=$(sed -n '1s/^# run: [^ ]* //p' "$CASE_DIR/$1")
  [ ! -f "$CASE_DIR/stdin" ] || input=$CASE_DIR/stdin
  # shellcheck disable=SC2086 # the recorded arguments, one word each
  VORNSIM_REPLAY=$CASE_DIR/$1 "$BOARDS_BIN/vorndiag-sim" $args <"$input" \
    >"$CASE_DIR/replay.stdout" 2>"$CASE_DIR/replay.stderr"
  status=$?
  [ "$status" = "$(cat "$CASE_DIR/status")" ] ||
    problems+=("the replay ended with $status: $(head -c 200 "$CASE_DIR/replay.stderr")")
  cmp -s "$CASE_DIR/replay.stdout" "$CASE_DIR/stdout" || problems+=("the replay printed other output")
}
