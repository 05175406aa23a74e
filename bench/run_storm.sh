#!/usr/bin/env bash
# run_storm.sh [--count-syscalls] BUILD_DIR [REQUESTS] [SOCKETS]: starts
# enrol-server from BUILD_DIR on a free loopback port with a one-venue table,
# runs enrol-storm against it, and stops the server.
#
# --count-syscalls runs the server under strace's counter (strace -f -c), once
# started and stopped without a request and once through a storm (default
# 20000 requests over 64 sockets), and prints the system calls per answered
# storm request: the storm run's calls less those of the bare start and stop,
# over the requests the storm saw answered. Standard output then holds that
# one line, with the goal and [met] or [MISSED]; the storm's own report goes
# to standard error; STORM_STRACE_SUMMARY=FILE keeps strace's table of the
# storm run. Under strace the storm is slower; only the count matters there.
set -eu
count=
if [ "${1:-}" = --count-syscalls ]; then
  count=1
  shift
fi
build=$1
requests=${2:-$([ -n "$count" ] && echo 20000 || echo 200000)}
sockets=${3:-64}
goal=1.5
work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
secret=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
echo "350102030405 $secret" >"$work/venues"

# start_server [STRACE_OUTPUT]: starts the server, under strace when a file is
# given; sets server_pid (the process to wait for), served_pid (the server
# itself) and port. Only the server's first line, the bound port, is kept.
start_server() {
  rm -f "$work/out"
  mkfifo "$work/out"
  if [ -n "${1:-}" ]; then
    strace -f -c -o "$1" "$build/tools/enrol-server" --venues "$work/venues" --port 0 >"$work/out" &
  else
    "$build/tools/enrol-server" --venues "$work/venues" --port 0 >"$work/out" &
  fi
  server_pid=$!
  exec 3<"$work/out"
  read -r listening <&3 || listening=
  port=$(printf '%s\n' "$listening" | sed -n 's/.*"port": *\([0-9]*\).*/\1/p')
  cat <&3 >/dev/null &
  exec 3<&-
  if [ -z "$port" ]; then
    echo "run_storm: enrol-server did not report its port: $listening" >&2
    exit 1
  fi
  served_pid=$server_pid
  if [ -n "${1:-}" ]; then
    # The server is strace's only child; it is stopped itself, so that strace
    # sees it exit and writes its counts.
    served_pid=$(cat "/proc/$server_pid/task/$server_pid/children" 2>/dev/null | tr -d ' ')
    if [ -z "$served_pid" ]; then
      echo "run_storm: cannot find enrol-server under strace" >&2
      exit 1
    fi
  fi
}

stop_server() {
  kill -TERM "$served_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=
}

storm() {
  "$build/bench/enrol-storm" --port "$port" --secret "$secret" --requests "$requests" \
    --sockets "$sockets" --seconds "$1"
}

# The calls counted in an strace -c summary: its "total" row.
total_calls() {
  awk '$NF == "total" { print $4 }' "$1"
}

if [ -z "$count" ]; then
  start_server
  storm 60
  exit 0
fi

"$(dirname "$0")/../scripts/ensure-packages.sh" strace >&2 || exit 1
start_server "$work/bare.txt"
stop_server
start_server "$work/storm.txt"
storm 300 | tee "$work/storm.out" >&2
stop_server
if [ -n "${STORM_STRACE_SUMMARY:-}" ]; then cp "$work/storm.txt" "$STORM_STRACE_SUMMARY"; fi
bare=$(total_calls "$work/bare.txt")
calls=$(total_calls "$work/storm.txt")
answered=$(sed -n 's/^enrol-storm: \([0-9]*\) answered.*/\1/p' "$work/storm.out")
if [ -z "$bare" ] || [ -z "$calls" ] || [ -z "$answered" ] || [ "$answered" -eq 0 ]; then
  echo "run_storm: no count (bare '$bare', storm '$calls', answered '$answered')" >&2
  exit 1
fi
awk -v calls="$calls" -v bare="$bare" -v answered="$answered" -v goal="$goal" -v sockets="$sockets" 'BEGIN {
  per = (calls - bare) / answered
  printf "system calls per answered storm request: %.2f (goal %.1f, %d calls beyond a bare start for %d answered over %d sockets) %s\n",
    per, goal, calls - bare, answered, sockets, per <= goal ? "[met]" : "[MISSED]"
}'
