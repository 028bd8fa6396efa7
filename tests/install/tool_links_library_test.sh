#!/usr/bin/env bash
# The installed vorndiag is a client of the installed libvorn.so.1: it
# loads it, carries none of its code, and calls only what the public
# version nodes export (VORN_n), nothing of VORN_PRIVATE_n.
#   tool_links_library_test.sh <build dir>
set -euo pipefail
build=$1
# shellcheck source=installed_tree.sh
source "$(dirname "$0")/installed_tree.sh" "$build"
tool=$prefix/bin/vorndiag
library=$libdir/libvorn.so.1

loaded=$(env -i ldd "$tool" | sed -n 's/^[[:space:]]*libvorn\.so\.1 => \([^ ]*\) .*/\1/p')
[ -n "$loaded" ] || fail "vorndiag does not load libvorn.so.1: $(ldd "$tool")"
[ "$(realpath "$loaded")" = "$(realpath "$library")" ] ||
  fail "vorndiag loads $loaded, not the installed $library"

# name@node of what the library defines, and of what the tool takes from it.
defined=$(nm -D --defined-only --with-symbol-versions "$library" | awk '$2 != "A" {print $3}' |
            sed 's/@@*/@/' | sort -u)
called=$(nm -D --undefined-only --with-symbol-versions "$tool" | awk '{print $2}' |
           grep '@VORN' | sort -u || true)
[ -n "$called" ] || fail "vorndiag calls nothing of libvorn"
unknown=$(comm -13 <(echo "$defined") <(echo "$called"))
[ -z "$unknown" ] || fail "vorndiag calls what libvorn does not export: $(echo $unknown)"
private=$(grep -v '@VORN_[0-9]' <<<"$called" || true)
[ -z "$private" ] || fail "vorndiag calls outside the public interface: $(echo $private)"

# A copy of the library linked in defines its calls in the tool itself.
functions=$(nm -D --defined-only "$library" | awk '$2 == "T" {print $3}' | sed 's/@.*//' | sort -u)
own=$(nm --defined-only "$tool" | awk '$2 ~ /^[Tt]$/ {print $3}' | sort -u)
[ -n "$own" ] || fail "vorndiag has no symbol table to look at"
copied=$(comm -12 <(echo "$functions") <(echo "$own"))
[ -z "$copied" ] || fail "vorndiag carries libvorn's own code: $(echo $copied)"
# The board map's inline helpers are the one header of bus/ the front end
# is given; an unoptimised build keeps them out of line.
seam=$(nm -C --defined-only "$tool" | grep ' vorn::' | grep -v ' vorn::map::' || true)
[ -z "$seam" ] || fail "vorndiag carries the library's internals: $(head -3 <<<"$seam")"

# And it runs on it, with no environment, as under sudo.
out=$(env -i "$tool" 2>&1) || true
grep -q '^syntax: ' <<<"$out" || fail "installed vorndiag did not start: $out"
echo "vorndiag runs on libvorn.so.1 through its public interface only"
