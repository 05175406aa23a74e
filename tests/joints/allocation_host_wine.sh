#!/usr/bin/env bash
# allocation_host_wine.sh ARCH HOST_EXE: runs allocation-host (HOST_EXE, built
# in the leg's folder) under wine beside the shipped dist/ARCH/bin/seatenrol.dll
# against the Linux enrol-server on 127.0.0.1: every call with allocations
# refused must give success or a failure result, never a crash, and enrol
# again once they are allowed (allocation_host_win.cpp). SEATENROL_WINE and
# WINEPREFIX as scripts/windows.sh sets them.
set -eu
cd "$(dirname "$0")/../.."
arch=${1:-}
host=${2:-}
dll=dist/$arch/bin/seatenrol.dll
if [ $# -ne 2 ] || [ ! -f "$host" ] || [ ! -f "$dll" ]; then
  echo "usage: $0 win32|win64 HOST_EXE, once make windows has made $dll" >&2
  exit 2
fi
label="allocation-host ($arch)"
. examples/common/enrol-server.sh
wine_host_start "allocation-host-$arch"
fail() {
  echo "$label: $*" >&2
  cat "$work/host.out" >&2 || true
  exit 1
}

venue=44030500012345
secret=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
printf '%s %s\n' "$venue" "$secret" >"$work/venues"
mkdir "$work/bin" "$work/config"
cp "$host" "$dll" "$work/bin/"
enrol_server_start server "$work/venues" || fail "enrol-server did not report its port"
export SEATENROL_CONFIG_DIR
SEATENROL_CONFIG_DIR=$(wine_path "$work/config")

status=0
(cd "$work/bin" && timeout 1200 "$wine" "./$(basename "$host")" "$venue" "$secret" "$enrol_server_port") \
  >"$work/host.out" 2>&1 || status=$?
tr -d '\r' <"$work/host.out" | sed 's/^/  /'
[ $status = 0 ] || fail "exited $status under ${SEATENROL_LEG:-wine64}"
echo "$label: every call survived refused allocations in the shipped DLL under ${SEATENROL_LEG:-wine64}"
