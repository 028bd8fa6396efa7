#!/usr/bin/env bash
# Fails when a ctest name carries a parameter's printed value ("GetParam()")
# or only its index ("/3"): a parameterised suite without a name generator.
#   readable_names.sh <build dir>
set -euo pipefail
names=$(ctest --test-dir "$1" -N | sed -n 's/^ *Test *#[0-9]*: //p')
[ -n "$names" ] || { echo "FAIL: ctest lists no tests"; exit 1; }
bad=$(grep -E 'GetParam|byte object|/[0-9]+$' <<<"$names" || true)
[ -z "$bad" ] || { echo "FAIL: unreadable test names:"; echo "$bad"; exit 1; }
echo "$(wc -l <<<"$names") test names, all readable"
