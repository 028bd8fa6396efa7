#!/usr/bin/env bash
# The Debian packages as a machine builder gets them: installed with dpkg -i,
# vorndiag on the installed libvorn1, the installed vorndiag-sim run,
# examples/axis_move.c built against the installed libvorn-dev (pkg-config
# and CMake) and run on the simulated boards, then the packages removed
# again. Needs root; refuses to run where any of the packages is installed
# already, since it removes them.
#   deb_test.sh [folder of the .deb files]   (default build/deb, as `make deb`)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
debs=${1:-$src/build/deb}
packages=(vorndiag libvorn1 libvornsim1 libvorn-dev)

fail() { echo "FAIL: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "deb_test.sh installs packages: run it as root"
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "ok installed" >/dev/null; then
    fail "$p is installed already; this test would remove it"
  fi
done

work=$(mktemp -d)
cleanup() {
  dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

files=()
for p in "${packages[@]}"; do
  f=$(find "$debs" -maxdepth 1 -name "${p}_*.deb" -print -quit)
  [ -n "$f" ] || fail "no ${p}_*.deb in $debs (make deb)"
  files+=("$f")
done
dpkg -i "${files[@]}" >/dev/null

# Found on the system path and by man, with no environment, as under sudo.
for program in vorndiag vorndiag-sim vorntrace; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program not in /usr/bin"
  man -w "$program" >/dev/null || fail "no man page for $program"
done
# vorndiag is a client of libvorn1: the package says so, and the tool loads
# the system's copy.
depends=$(dpkg-query -W -f='${Depends}' vorndiag)
grep -q 'libvorn1 (>= ' <<<"$depends" || fail "vorndiag does not depend on libvorn1: $depends"
libs=$(env -i ldd /usr/bin/vorndiag)
grep -q 'libvorn\.so\.1 => /' <<<"$libs" || fail "vorndiag does not load libvorn.so.1: $libs"
map=$(env -i /usr/bin/vorndiag-sim 378 bus 2>&1) || fail "installed vorndiag-sim: $map"
grep -q '^   1        Rategen Board    2$' <<<"$map" || fail "installed vorndiag-sim printed: $map"
[ -e /usr/share/vorn/rigs/default.toml ] || fail "rig files not installed"

# A repeatable run: simulated time moves with the port accesses.
printf 'clock = "virtual"\n' >"$work/virtual.toml"
export VORNSIM_RIG=$work/virtual.toml

# axis_move to `target` must end within one count of it.
check_move() {
  local binary=$1 target=$2 line final
  line=$("$binary" "$target")
  final=$(sed -n 's/.*final count \(-\{0,1\}[0-9]*\),.*/\1/p' <<<"$line")
  [ -n "$final" ] || fail "$binary $target: no final count in: $line"
  ((final - target <= 1 && target - final <= 1)) || fail "$binary $target ended at $final"
  echo "$(basename "$binary"): $line"
}

cflags="-std=c99 -Wall -Wextra -pedantic -Werror"
# shellcheck disable=SC2046,SC2086
cc $cflags "$src/examples/axis_move.c" -o "$work/pc-hw" $(pkg-config --cflags --libs vorn)
# shellcheck disable=SC2046,SC2086
cc $cflags -DAXIS_MOVE_SIM "$src/examples/axis_move.c" -o "$work/pc-sim" \
  $(pkg-config --cflags --libs vornsim)
check_move "$work/pc-sim" 2500
cmake -S "$src/examples" -B "$work/cmake" -DCMAKE_C_FLAGS="-Werror" >/dev/null
cmake --build "$work/cmake" >/dev/null
check_move "$work/cmake/axis_move" -1500

dpkg --purge "${packages[@]}" >/dev/null
for p in "${packages[@]}"; do
  ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "ok installed" >/dev/null || fail "$p not removed"
done
[ ! -e /usr/bin/vorndiag ] || fail "/usr/bin/vorndiag left behind"
echo "packages install, run, build a client and remove cleanly"
