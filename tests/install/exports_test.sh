#!/usr/bin/env bash
# What the installed shared libraries export, as a client's dynamic linker
# sees it: exactly the C calls their installed headers declare, each under
# a version of the library's own (VORN_n, VORNSIM_n), and for libvorn the
# calls libvornsim puts its port in place with, under VORN_PRIVATE_n.
# No C++ name, no test hook; and no header of the C++ seam installed.
#   exports_test.sh <build dir>
set -euo pipefail
build=$1
# shellcheck source=installed_tree.sh
source "$(dirname "$0")/installed_tree.sh" "$build"

for f in include/vorn/bus.h include/vorn/port_os.h include/vorn/vornsim.hpp \
         "${libdir#"$prefix"/}/libvorn.a"; do
  [ ! -e "$prefix/$f" ] || fail "$f installed"
done

# `declared <api macro> <header>...`: the names the headers give that macro.
declared() {
  local api=$1
  shift
  sed -n "s/.*$api [^(;]*[ *]\([A-Za-z_][A-Za-z0-9_]*\) *[(;].*/\1/p" "$@" | sort -u
}
# `exported <library>`: name@@node of every symbol it defines, the node
# without its number (which release added a call is abi/check's to judge),
# but the version nodes themselves (and what a sanitizer build adds of its own).
exported() {
  nm -D --defined-only --with-symbol-versions "$1" | awk '$2 != "A" {print $3}' |
    grep -v -e '^__odr_asan' -e '^__asan' -e '^__ubsan' | sed 's/_[0-9][0-9.]*$//' | sort -u
}
check() {
  local library=$1 expected=$2 got
  got=$(exported "$library")
  [ "$expected" = "$got" ] ||
    fail "${library#"$prefix"/} exports differ:$(diff <(echo "$expected") <(echo "$got") | grep '^[<>]')"
}

public=$(declared VORN_API "$prefix"/include/vorn/{vorn,extintf}.h | sed 's/$/@@VORN/')
private=$(printf '%s@@VORN_PRIVATE\n' vorn_port_clock vorn_port_flush_traces vorn_port_install \
  vorn_port_install_traced vorn_port_uninstall vorn_trace_attach vorn_trace_clash vorn_trace_delete vorn_trace_flush \
  vorn_trace_new vorn_trace_open vorn_trace_protect)
[ "$(wc -l <<<"$public")" -gt 100 ] || fail "too few declarations read from vorn.h and extintf.h"
check "$libdir/libvorn.so.1" "$(sort <<<"$public"$'\n'"$private")"

if [ -e "$libdir/libvornsim.so.1" ]; then
  sim=$(declared VORNSIM_API "$prefix/include/vorn/vornsim.h" | sed 's/$/@@VORNSIM/')
  check "$libdir/libvornsim.so.1" "$sim"
fi
echo "libvorn and libvornsim export their C interface only"
