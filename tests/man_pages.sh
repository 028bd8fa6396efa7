#!/usr/bin/env bash
# Every man page renders without a warning from either formatter: mandoc's
# lint (warnings and worse; its style notes are advice) and groff's.
#   man_pages.sh <page>...
set -euo pipefail
status=0
for page in "$@"; do
  lint=$(mandoc -T lint -W warning "$page" 2>&1) || true
  groff=$(groff -man -Tutf8 -ww -z "$page" 2>&1) || true
  if [ -n "$lint$groff" ]; then
    printf 'FAIL: %s\n%s%s\n' "$page" "$lint" "$groff"
    status=1
  fi
done
exit $status
