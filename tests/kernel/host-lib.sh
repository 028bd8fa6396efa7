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
  [ -z "$FIXTURES" ] || rm -rf "${FIXTURES:?}/$CASE_NAME"
  if [ -f "$CASE_DIR/complete" ]; then
    "$@"
  else
    problems+=("no result came back from the guest")
  fi
  if [ ${#problems[@]} -eq 0 ]; then
    echo "PASS $BOOT/$CASE_NAME"
    passed=$((passed + 1))
  else
    echo "FAIL $BOOT/$CASE_NAME"
    printf '    %s\n' "${problems[@]}"
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
  cat "$CASE_DIR/stdout" "$CASE_DIR/stderr" 2>/dev/null | grep -Eq -- "$1" ||
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
