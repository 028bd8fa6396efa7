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

expect_as_sim() { # RIG LOOP ARGS...
  local rig=$1 loop=$2 input=/dev/null status
  shift 2
  [ ! -f "$CASE_DIR/stdin" ] || input=$CASE_DIR/stdin
  if [ "$loop" = 0 ]; then
    VORNSIM_RIG=$RIGS/$rig.toml "$BOARDS_BIN/vorndiag-sim" "$@" <"$input" \
      >"$CASE_DIR/sim.stdout" 2>/dev/null
    status=$?
    cmp -s "$CASE_DIR/sim.stdout" "$CASE_DIR/stdout" ||
      problems+=("standard output is not vorndiag-sim's: $(diff "$CASE_DIR/sim.stdout" "$CASE_DIR/stdout" | head -n 3 | tr '\n' ' ')")
  else
    VORNSIM_RIG=$RIGS/$rig.toml timeout --preserve-status -s INT 0.5 \
      "$BOARDS_BIN/vorndiag-sim" "$@" <"$input" >"$CASE_DIR/sim.stdout" 2>/dev/null
    status=$?
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
  expect_status "$status"
}

# The lines of STREAM (stdout, stderr) that match PATTERN, as vorndiag-sim
# gives them on RIG, the program's name left out; none would be no proof.
expect_lines_as_sim() { # STREAM PATTERN RIG ARGS...
  local stream=$1 pattern=$2 rig=$3
  shift 3
  [ -n "$BOARDS_BIN" ] || return 0
  VORNSIM_RIG=$RIGS/$rig.toml "$BOARDS_BIN/vorndiag-sim" "$@" </dev/null \
    >"$CASE_DIR/sim.stdout" 2>"$CASE_DIR/sim.stderr"
  grep -v '^vornsim:' "$CASE_DIR/sim.$stream" | grep -E "$pattern" | sed 's/^[^ :]*: //' \
    >"$CASE_DIR/sim.lines"
  grep -E "$pattern" "$CASE_DIR/$stream" | sed 's/^[^ :]*: //' >"$CASE_DIR/lines"
  [ -s "$CASE_DIR/lines" ] || problems+=("no $stream line matches /$pattern/")
  cmp -s "$CASE_DIR/sim.lines" "$CASE_DIR/lines" ||
    problems+=("not vorndiag-sim's: $(diff "$CASE_DIR/sim.lines" "$CASE_DIR/lines" | head -n 3 | tr '\n' ' ')")
}

# The bridge's count of nInit falls at a mark: "parportN LABEL: ... resets=N".
resets_at() { # PORT LABEL
  awk -v head="$1 $2:" 'index($0, head) == 1 { sub(/.* resets=/, ""); print $1; exit }' "$BRIDGE_STATS"
}

expect_no_board_reset() {
  local port before after
  for port in parport0 parport1; do
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
