#!/usr/bin/env bash
# count_identity_syscalls.sh BUILD_DIR [GOAL]: the system calls one
# `seat-enrol identity` makes beyond a bare start of the same program
# (`seat-enrol help`: loader, C++ runtime, one write of its output, exit),
# both counted by strace -f -c. Prints one row with the goal and
# [met]/[MISSED]; never fails on the figure.
set -u
build=$1
goal=${2:-80}
program="$build/tools/seat-enrol"
row() { printf '%-24s %12s  %-20s %12s %8s %6s  %s\n' "$@"; }
if ! command -v strace >/dev/null; then
  row "syscalls: identity" "-" "-" "-" "-" "$goal" "skipped: strace is not installed"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The calls of one run of the program with the given arguments.
count() {
  strace -f -c -o "$work/summary" "$program" "$@" >/dev/null 2>&1
  awk '$NF == "total" { print $4 }' "$work/summary"
}
identity=$(count identity)
bare=$(count help)
if [ -z "$identity" ] || [ -z "$bare" ]; then
  row "syscalls: identity" "-" "-" "-" "-" "$goal" "skipped: strace gave no count"
  exit 0
fi
above=$((identity - bare))
verdict="[MISSED]"
[ "$above" -le "$goal" ] && verdict="[met]"
row "syscalls: identity" "$above" "seat-enrol help" "$bare" "-" "$goal" \
  "calls of seat-enrol identity ($identity) above a bare start $verdict"
