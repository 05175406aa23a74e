#!/usr/bin/env bash
# run_storm.sh BUILD_DIR [REQUESTS] [SOCKETS]: starts enrol-server from
# BUILD_DIR on a free loopback port with a one-venue table, runs enrol-storm
# against it, and stops the server.
set -eu
build=$1
requests=${2:-200000}
sockets=${3:-64}
work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
secret=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
echo "350102030405 $secret" >"$work/venues"
# The server reports each request on standard output; only its first line,
# the bound port, is kept.
mkfifo "$work/out"
"$build/tools/enrol-server" --venues "$work/venues" --port 0 >"$work/out" &
server_pid=$!
exec 3<"$work/out"
read -r listening <&3
port=$(printf '%s\n' "$listening" | sed -n 's/.*"port": *\([0-9]*\).*/\1/p')
cat <&3 >/dev/null &
if [ -z "$port" ]; then
  echo "run_storm: enrol-server did not report its port: $listening" >&2
  exit 1
fi
"$build/bench/enrol-storm" --port "$port" --secret "$secret" --requests "$requests" \
  --sockets "$sockets" --seconds 60
