#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as an outside
# client would: checks what landed there, builds the C example with
# find_package(vorn) and with pkg-config, a client of the compatibility
# path, and drives the simulated boards to a target count.
#   install_test.sh <build dir> <source dir>
# CLIENT_CFLAGS and CLIENT_LDFLAGS are added to every client build.
set -euo pipefail
build=$1
src=$2
# shellcheck source=installed_tree.sh
source "$(dirname "$0")/installed_tree.sh" "$build"

for f in bin/vorndiag bin/vorndiag-sim bin/vorntrace \
         include/vorn/vorn.h include/vorn/vorn_export.h include/vorn/extintf.h \
         include/vorn/vornsim.h include/vorn/vornsim_export.h \
         share/man/man1/vorndiag.1 share/man/man1/vorntrace.1 share/man/man1/vorndiag-sim.1 \
         share/vorn/rigs/default.toml; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
for f in libvorn.so.1 libvornsim.so.1 cmake/vorn/vornConfig.cmake pkgconfig/vorn.pc \
         pkgconfig/vorn-compat.pc pkgconfig/vornsim.pc; do
  [ -e "$libdir/$f" ] || fail "${libdir#"$prefix"/}/$f not installed"
done
readelf -d "$libdir/libvorn.so" | grep 'SONAME.*\[libvorn\.so\.1\]' >/dev/null || fail "libvorn soname"

# The installed programs start with no environment at all, as under sudo:
# they find the libraries through a run path relative to themselves, never
# one into the build tree.
for f in "$prefix"/bin/* "$libdir"/libvorn*.so.1; do
  runpath=$(readelf -d "$f" | sed -n 's/.*\(RPATH\|RUNPATH\).*\[\(.*\)\]/\2/p')
  for dir in ${runpath//:/ }; do
    [[ $dir == '$ORIGIN'* ]] || fail "${f#"$prefix"/} has run path $dir"
  done
done
# vornsim-lpt, where libfuse3 was found, with its man page.
if [ -e "$build/bin/vornsim-lpt" ]; then
  [ -e "$prefix/share/man/man1/vornsim-lpt.1" ] || fail "vornsim-lpt.1 not installed"
  help=$(env -i "$prefix/bin/vornsim-lpt" --help 2>&1) && grep -q '^usage: vornsim-lpt' <<<"$help" ||
    fail "installed vornsim-lpt: $help"
fi
map=$(env -i "$prefix/bin/vorndiag-sim" 378 bus 2>&1) || fail "installed vorndiag-sim: $map"
grep -q '^   1        Rategen Board    2$' <<<"$map" || fail "installed vorndiag-sim printed: $map"
# A test name that does not exist: the usage, before any port access.
status=0
usage=$(env -i "$prefix/bin/vorndiag" 378 nosuchtest 2>&1 </dev/null) || status=$?
[ "$status" -eq 255 ] && grep -q '^syntax: ' <<<"$usage" ||
  fail "installed vorndiag (status $status): $usage"

# The man pages render without a warning.
warnings=$(groff -man -Tutf8 -ww -z "$prefix"/share/man/man1/vorn{diag,trace}.1 2>&1)
[ -z "$warnings" ] || fail "man page warnings: $warnings"

# A repeatable run: simulated time moves with the port accesses.
printf 'clock = "virtual"\n' >"$work/virtual.toml"
export VORNSIM_RIG=$work/virtual.toml

# Runs an axis_move binary to `target`; its one line of output, with the
# rate driver's report lines off, must report a final count within one
# count of it.
check_move() {
  local binary=$1 target=$2 line final
  line=$("$binary" "$target")
  [ "$(wc -l <<<"$line")" -eq 1 ] || fail "$binary $target printed more than its result: $line"
  final=$(sed -n 's/.*final count \(-\{0,1\}[0-9]*\),.*/\1/p' <<<"$line")
  [ -n "$final" ] || fail "$binary $target: no final count in: $line"
  (( final - target <= 1 && target - final <= 1 )) || fail "$binary $target ended at $final"
  echo "$binary: $line"
}

cflags="-Wall -Wextra -pedantic -Werror ${CLIENT_CFLAGS:-}"
ldflags=${CLIENT_LDFLAGS:-}
for sim in ON OFF; do
  cmake -S "$src/examples" -B "$work/cmake-$sim" -DCMAKE_PREFIX_PATH="$prefix" \
    -DAXIS_MOVE_SIM=$sim -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
  cmake --build "$work/cmake-$sim" >/dev/null
done
check_move "$work/cmake-ON/axis_move" 3000

export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046,SC2086
cc -std=c99 $cflags -DAXIS_MOVE_SIM "$src/examples/axis_move.c" -o "$work/pc-sim" $ldflags \
  $(pkg-config --cflags --libs vornsim) -Wl,-rpath,"$(pkg-config --variable=libdir vorn)"
# shellcheck disable=SC2046,SC2086
cc -std=c99 $cflags "$src/examples/axis_move.c" -o "$work/pc-hw" $ldflags \
  $(pkg-config --cflags --libs vorn)
check_move "$work/pc-sim" -2000

# A client written against the plain header names builds through vorn-compat,
# and only through it: vorn alone puts no header folder of its own on the path.
printf '#include <extintf.h>\nint main(void) { return extMotQuit(); }\n' >"$work/compat.c"
mkdir "$work/compat-cmake"
printf '%s\n' 'cmake_minimum_required(VERSION 3.16)' 'project(compat LANGUAGES C)' \
  'find_package(vorn REQUIRED)' "add_executable(compat $work/compat.c)" \
  'target_link_libraries(compat PRIVATE vorn::vorn vorn::compat)' >"$work/compat-cmake/CMakeLists.txt"
{ cmake -S "$work/compat-cmake" -B "$work/compat-cmake/build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" && cmake --build "$work/compat-cmake/build"; } \
  >/dev/null || fail "a client of <extintf.h> does not build with vorn::compat"
# shellcheck disable=SC2046,SC2086
cc -std=c99 $cflags "$work/compat.c" -o "$work/compat" $ldflags $(pkg-config --cflags --libs vorn-compat) ||
  fail "a client of <extintf.h> does not build with vorn-compat"
# shellcheck disable=SC2046,SC2086
! cc -std=c99 $cflags "$work/compat.c" -o "$work/compat" $ldflags $(pkg-config --cflags --libs vorn) \
  2>/dev/null || fail "pkg-config vorn puts include/vorn on the path"
echo "installed package usable from CMake and pkg-config"
