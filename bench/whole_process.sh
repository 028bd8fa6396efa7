#!/usr/bin/env bash
# Whole-process figures for vorndiag-sim on the virtual clock, stopped by the
# rig's scripted Ctrl-C after a fixed number of passes:
#  - passes per second of servof and commtest, standard output to /dev/null
#    and to a pseudo-terminal (best of three runs);
#  - instructions per pass outside the simulator under callgrind (the same
#    from run to run): self cost of every function whose source is not under
#    sim/, the difference of two runs, so the start-up drops out (measure on
#    the RelWithDebInfo build, build/dev, to compare with docs/performance.md);
#  - standard output buffered by line and fully on a pseudo-terminal: servof
#    and commtest on the null port (vorn_bench_stdout), diocontinuous as a
#    whole process (stdbuf).
#
#   bench/whole_process.sh [build dir]      default: build/bench
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/bench}
sim=$build/bin/vorndiag-sim
modes=$build/bin/vorn_bench_stdout
for tool in "$sim" "$modes"; do
  [ -x "$tool" ] || { echo "$0: $tool not built (make bench)" >&2; exit 1; }
done
command -v valgrind >/dev/null || { echo "$0: valgrind missing (scripts/ensure-deps)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The start sequence's port accesses before the first pass: the rate
# generator reset (8) and the encoder start-up (28).
startup=36
declare -A pass_accesses=([servof]=63 [commtest]=86)

# A rig on the virtual clock that stops `test` after `passes` whole passes.
rig() { # test passes
  local file=$work/$1-$2.toml
  printf 'clock = "virtual"\ninterrupt_after = %d\n' \
    $((startup + $2 * ${pass_accesses[$1]})) >"$file"
  echo "$file"
}

# Runs a command with standard output to /dev/null or to a pseudo-terminal
# (script(1)); prints "wall user system" in seconds.
timed_once() { # null|pty command...
  local where=$1
  shift
  local inner
  inner="TIMEFORMAT='%R %U %S'; { time $(printf '%q ' "$@") 2>/dev/null; } 2>$work/time"
  if [ "$where" = pty ]; then
    script -qec "bash -c $(printf '%q' "$inner")" /dev/null >/dev/null
  else
    bash -c "$inner" >/dev/null
  fi
  cat "$work/time"
}

# Two cores shared with the pseudo-terminal's reader and whatever else runs:
# the best of three runs.
runs=3
timed() { # null|pty command...
  for _ in $(seq $runs); do timed_once "$@"; done | sort -n | sed -n 1p
}

echo "== passes per second, vorndiag-sim, virtual clock"
printf '%-10s %-10s %9s %9s %14s %16s\n' test output passes wall_s passes_per_s cpu_us_per_pass
for test in servof commtest; do
  passes=$([ "$test" = servof ] && echo 200000 || echo 300000)
  file=$(rig "$test" "$passes")
  for where in null pty; do
    read -r wall user sys < <(timed "$where" env VORNSIM_RIG="$file" "$sim" 378 "$test")
    awk -v t="$test" -v w="$where" -v n="$passes" -v r="$wall" -v u="$user" -v s="$sys" \
      'BEGIN { printf "%-10s %-10s %9d %9.3f %14.0f %16.2f\n", t, w, n, r, n / r, (u + s) / n * 1e6 }'
  done
done

echo
echo "== instructions per pass outside the simulator, callgrind (vorndiag-sim, /dev/null)"
# Self cost per function (callgrind_annotate), summed over every function
# whose source is not under sim/: the front end, bus/, drivers/, the C and
# C++ runtime. vorndiag-sim is linked statically, so the split is by source
# file, not by object. The difference of two runs drops the start-up out.
outside() { # test passes -> instructions
  local out=$work/cg-$1-$2
  VORNSIM_RIG=$(rig "$1" "$2") valgrind --tool=callgrind --callgrind-out-file="$out" \
    "$sim" 378 "$1" >/dev/null 2>/dev/null || true
  callgrind_annotate --auto=no --threshold=100 --inclusive=no "$out" | awk '
    /^ *[0-9,]+ +\(/ {
      n = $1; gsub(",", "", n); f = $0; sub(/^ *[0-9,]+ +\([^)]*\) +/, "", f)
      if (f ~ /PROGRAM TOTALS/ || f ~ /^([^:]*\/)?sim\//) next
      sum += n
    }
    END { print sum + 0 }'
}
for test in servof commtest; do
  short=$([ "$test" = servof ] && echo 1000 || echo 2000)
  long=$((3 * short))
  a=$(outside "$test" "$short")
  b=$(outside "$test" "$long")
  awk -v t="$test" -v a="$a" -v b="$b" -v n=$((long - short)) \
    'BEGIN { printf "%-10s %8.0f instructions per pass outside sim/\n", t, (b - a) / n }'
done

echo
echo "== standard output on a pseudo-terminal, by line and fully buffered"
echo "servof and commtest on the null port (vorn_bench_stdout):"
for test in servof commtest; do
  passes=$([ "$test" = servof ] && echo 200000 || echo 1000000)
  for mode in line full; do
    for _ in $(seq $runs); do
      script -qec "$(printf '%q ' "$modes" "$test" "$mode" "$passes") 2>$work/modes" \
        /dev/null >/dev/null
      cat "$work/modes"
    done | sort -t' ' -k5 -n | sed -n 1p
  done
done
echo "diocontinuous, vorndiag-sim, 10000000 port accesses (line: the default on a terminal):"
file=$work/dio.toml
printf 'clock = "virtual"\ninterrupt_after = 10000000\n' >"$file"
for mode in L 1024 8192; do
  read -r wall user sys < <(timed pty env VORNSIM_RIG="$file" stdbuf -o"$mode" "$sim" 378 diocontinuous)
  awk -v m="$mode" -v r="$wall" -v u="$user" -v s="$sys" \
    'BEGIN { printf "diocontinuous stdbuf -o%-5s %7.3f s wall, %7.3f s CPU\n", m, r, u + s }'
done
