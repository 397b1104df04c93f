#!/usr/bin/env bash
# Every manual page renders with man and with groff's warnings all on, without one.
# Usage: check_manual_pages.sh FOLDER_OF_PAGES
set -euo pipefail
status=0
for page in "$1"/*.1; do
  warnings=$( { groff -ww -z -man -Tutf8 "$page"; MANWIDTH=80 man --warnings -l "$page" >/dev/null; } 2>&1 )
  if [ -n "$warnings" ]; then
    echo "$page: $warnings" >&2
    status=1
  fi
done
exit $status
