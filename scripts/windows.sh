#!/usr/bin/env bash
# windows.sh dist|test|test-if-possible
set -eu
if [ "${1:-}" = test-if-possible ]; then
  echo "windows leg: not yet"
  exit 0
fi
echo "windows: not yet" >&2
exit 1
