#!/usr/bin/env bash
# The driver library's writable state is the default bus, the buses of
# vornBusNew() and what fork and exit handling need, besides vorn_base_addr: every other piece of a
# started bus lives in the bus object. A global added anywhere in the
# library shows up here as a writable object of its own.
#   library_state_test.sh <build dir>
set -euo pipefail
library=$1/libvorn.so.1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
[ -e "$library" ] || fail "$library not built"

# Objects in the writable sections, the library's own by name (not the C++
# runtime's nor a sanitizer's).
got=$(objdump -t -C "$library" |
  awk '{ for (i = 2; i <= 4; i++) if ($i ~ /^\.(data|bss|tdata|tbss)$/) { print; next } }' |
  sed 's/.*[0-9a-f]\{16\} *//' | grep -e '^vorn' -e '[ :]vorn::' | sort -u)
# The default bus (made on first use), the buses of vornBusNew() (known
# for fork and exit), each thread's choice among them, and the object that
# gives their ports back after the host's atexit handlers; the stateless
# run control no port has (a vtable pointer alone).
expected=$(sort <<'LIST'
vorn_base_addr
vorn::made_default_bus
vorn::thread_bus
vorn::(anonymous namespace)::made_buses
vorn::(anonymous namespace)::made_buses_lock
vorn::make_default_bus()::bus
guard variable for vorn::make_default_bus()::bus
vorn::(anonymous namespace)::give_back_at_exit
vorn::no_run_control()::none
guard variable for vorn::no_run_control()::none
LIST
)
[ "$got" = "$expected" ] ||
  fail "writable state outside the bus object:$(diff <(echo "$expected") <(echo "$got") | grep '^[<>]')"
echo "ok: $(wc -l <<<"$got") writable objects, all expected"
