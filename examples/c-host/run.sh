#!/usr/bin/env bash
# run.sh native HOST ENROL_SERVER | win32 HOST | win64 HOST
#
# Runs the C host (main.c) against enrol-server on 127.0.0.1: one server that
# knows the venue, one started with --drop, and the port of a third that was
# stopped; the host checks every outcome itself.
#
#   native HOST ENROL_SERVER  HOST as built by CTest with the native library
#   win32 HOST | win64 HOST   HOST as the leg's folder built it (C99, against
#                             the libseatenrol.dll.a dist/ARCH ships), run
#                             under wine beside dist/ARCH/bin/seatenrol.dll
#                             (SEATENROL_WINE, WINEPREFIX as scripts/windows.sh
#                             sets them)
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
mode=${1:-}
case $mode in
  native)
    [ $# -eq 3 ] || { echo "usage: $0 native HOST ENROL_SERVER" >&2; exit 2; }
    host=$2
    export SEATENROL_ENROL_SERVER=$3
    ;;
  win32 | win64)
    [ $# -eq 2 ] && [ -f "$2" ] || { echo "usage: $0 $mode HOST, once HOST is built" >&2; exit 2; }
    host=$2
    ;;
  *) echo "usage: $0 native HOST ENROL_SERVER | win32 HOST | win64 HOST" >&2; exit 2 ;;
esac

mkdir -p build/hosts
work=$(mktemp -d "$root/build/hosts/c-host.XXXXXX")
. examples/common/enrol-server.sh
finish() {
  enrol_server_stop_all
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "c-host ($mode): $*" >&2
  exit 1
}

venue=44030500012345
secret=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
printf '%s %s\n' "$venue" "$secret" >"$work/venues"
mkdir "$work/config"
enrol_server_start closed "$work/venues" || fail "enrol-server did not report its port"
closed=$enrol_server_port
closed_pid=$enrol_server_pid
enrol_server_start drop "$work/venues" --drop || fail "enrol-server --drop did not report its port"
drop=$enrol_server_port
enrol_server_start server "$work/venues" || fail "enrol-server did not report its port"
port=$enrol_server_port
# Stopped once the others hold their ports, so that none can take its port.
enrol_server_stop "$closed_pid"

status=0
if [ "$mode" = native ]; then
  SEATENROL_CONFIG_DIR=$work/config "$host" "$venue" "$secret" "$port" "$drop" "$closed" ||
    status=$?
else
  mkdir "$work/bin"
  cp "$host" "dist/$mode/bin/seatenrol.dll" "$work/bin/"
  # wine drops the ICMP refusal of a closed port: the datagram meets silence.
  SEATENROL_CONFIG_DIR=$(wine_path "$work/config") timeout 120 "${SEATENROL_WINE:-/usr/lib/wine/wine64}" \
    "$work/bin/c-host.exe" "$venue" "$secret" "$port" "$drop" "$closed" silent || status=$?
fi
[ $status = 0 ] || fail "the host exited $status"
echo "c-host ($mode): every C call reported what it should against enrol-server"
