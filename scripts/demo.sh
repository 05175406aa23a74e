#!/usr/bin/env bash
# demo.sh: a real enrolment on this machine. Builds the two tools, starts
# enrol-server on a free loopback port with a demonstration venue, enrols this
# seat with seat-enrol, and shows what the server saw and what was stored.
set -eu
cd "$(dirname "$0")/.."
scripts/ensure-packages.sh cmake make g++ libgtest-dev libgmock-dev >&2

build=build/native
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2 --target enrol-server seat-enrol >/dev/null
server_bin=$build/tools/enrol-server
client_bin=$build/tools/seat-enrol

work=$(mktemp -d "$PWD/$build/demo.XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

venue=440106123456
secret_file=docs/demo-secret.hex
export SEATENROL_CONFIG_DIR=$work/config
mkdir -p "$SEATENROL_CONFIG_DIR"

"$server_bin" --venues docs/demo-venues.txt --port 0 >"$work/server.out" 2>&1 &
server_pid=$!
port=
for _ in $(seq 50); do
  port=$(sed -n '1s/.*"port":\([0-9]*\).*/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: enrol-server did not start:" >&2
  cat "$work/server.out" >&2
  exit 1
fi
echo "== enrol-server listening on 127.0.0.1:$port (venues: docs/demo-venues.txt)"

echo "== this seat, as the library sees it"
"$client_bin" identity || true

echo "== seat-enrol enrol --venue $venue --secret-file $secret_file --server 127.0.0.1 --port $port --verbose"
status=0
"$client_bin" enrol --venue "$venue" --secret-file "$secret_file" --server 127.0.0.1 \
  --port "$port" --verbose || status=$?

echo "== what the server received and answered"
for _ in $(seq 20); do
  grep -q '"event":"request"' "$work/server.out" && break
  sleep 0.1
done
grep '"event":"request"' "$work/server.out" || echo "(no request reached the server)"

echo "== stored server list (seat-enrol list)"
"$client_bin" list

kill -TERM "$server_pid"
wait "$server_pid" || true
server_pid=
if [ "$status" -ne 0 ]; then
  echo "demo: the enrolment failed (seat-enrol exit status $status)" >&2
  exit 1
fi
echo "== done: the seat is enrolled"
