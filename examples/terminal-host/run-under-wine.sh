#!/usr/bin/env bash
# run-under-wine.sh HOST_EXE DLL: enrols the seat through DLL with the host
# program HOST_EXE (terminal-host.exe or msvc-host.exe: VENUE_ID SECRET
# SERVER PORT) under wine against the Linux enrol-server on 127.0.0.1, then
# checks what the server saw and the server list the Windows side stored. A
# second run with a wrong secret must be refused and leave the stored list
# as it was. The host runs from a folder of its own beside a copy of DLL,
# which Windows loads before any other.
#
# SEATENROL_WINE names the wine loader (default wine64), WINEPREFIX the
# prefix (default build/win64/wineprefix), as scripts/windows.sh sets them.
set -eu
cd "$(dirname "$0")/../.."
root=$PWD
wine=${SEATENROL_WINE:-/usr/lib/wine/wine64}
export WINEPREFIX=${WINEPREFIX:-$root/build/win64/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ $# -ne 2 ]; then
  echo "usage: $0 HOST_EXE DLL" >&2
  exit 2
fi
[ -f "$1" ] || { echo "terminal-host: $1 is not built" >&2; exit 1; }
[ -f "$2" ] || { echo "terminal-host: $2 is not built" >&2; exit 1; }
label=$(basename "$1" .exe)

mkdir -p build/hosts
work=$(mktemp -d "$root/build/hosts/$label.XXXXXX")
. examples/common/enrol-server.sh
mkdir "$work/bin"
cp "$1" "$2" "$work/bin/"
host_exe=$work/bin/$(basename "$1")
finish() {
  enrol_server_stop_all
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "$label: $*" >&2
  echo "--- enrol-server output:" >&2
  cat "$work/server.out" >&2 || true
  exit 1
}

venue=44030500012345
secret=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
wrong=ff0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
printf '%s %s\n' "$venue" "$secret" >"$work/venues"
mkdir "$work/config"

enrol_server_start server "$work/venues" || fail "enrol-server did not report its port"
port=$enrol_server_port

SEATENROL_CONFIG_DIR=$(wine_path "$work/config")
export SEATENROL_CONFIG_DIR
store=$work/config/regaddrs.dat

# $1 = secret; the exit status of terminal-host.
enrol() {
  local status=0
  timeout 120 "$wine" "$host_exe" "$venue" "$1" 127.0.0.1 "$port" >"$work/host.out" 2>&1 || status=$?
  return $status
}

# The request lines the server has written so far.
requests() { grep '"event":"request"' "$work/server.out" || true; }

# Field checks on a JSON line: name and exact JSON value.
has() { printf '%s' "$1" | grep -q "\"$2\":$3"; }

status=0
enrol "$secret" || status=$?
[ $status = 0 ] || { cat "$work/host.out" >&2; fail "enrolment exited $status, not 0"; }
line=$(requests | tail -n 1)
[ -n "$line" ] || fail "the server saw no registration request"
for check in 'length 359' 'commandID 127' 'userType 2' 'userLevel "10"' 'countryID "86"' \
  "companyID \"$venue\"" 'errorNo 0' 'accepted true' 'answered true'; do
  has "$line" "${check%% *}" "${check#* }" || fail "request line lacks ${check%% *} ${check#* }: $line"
done
has "$line" localIP '"[0-9]*\.[0-9]*\.[0-9]*\.[0-9]*"' || fail "no dotted local IP: $line"
has "$line" localMAC '"[0-9a-f]\{12\}"' || fail "no MAC: $line"
# The machine characteristic is the same MAC as twelve upper-case digits.
mac=$(printf '%s' "$line" | sed -n 's/.*"localMAC":"\([0-9a-f]*\)".*/\1/p' | tr a-f A-F)
has "$line" machineCharacteristic "\"$mac\"" || fail "machine characteristic is not the MAC: $line"
# wine hands Windows programs the Linux host name.
has "$line" hostName "\"$(hostname | cut -c 1-20)\"" || fail "host name is not $(hostname): $line"

# The stored list: a 12-byte header, count, entries of 294 bytes, checksum.
[ -f "$store" ] || fail "no stored server list at $store"
size=$(stat -c %s "$store")
[ "$size" = 5900 ] || fail "stored list is $size bytes, not 5900"
u32() { od -A n -t u4 -j "$1" -N 4 "$store" | tr -d ' '; }
u8() { od -A n -t u1 -j "$1" -N 1 "$store" | tr -d ' '; }
entry=16
[ "$(u32 12)" = 1 ] || fail "stored list holds $(u32 12) entries, not 1"
name=$(dd if="$store" bs=1 skip=$entry count=256 2>/dev/null | tr -d '\0')
[ "$name" = 127.0.0.1 ] || fail "stored server name is '$name'"
[ "$(u32 $((entry + 256)))" = "$port" ] || fail "stored port is $(u32 $((entry + 256))), not $port"
[ "$(u8 $((entry + 260)))" = 1 ] || fail "stored entry is not flagged as enrolled"
credential=$(od -A n -t x1 -j $((entry + 261)) -N 32 "$store" | tr -d ' \n')
[ "${#credential}" = 64 ] && [ "$credential" != "$(printf '0%.0s' $(seq 64))" ] ||
  fail "stored credential is empty"
cp "$store" "$work/store.accepted"

# A wrong secret is refused (-4) and changes nothing stored.
status=0
enrol "$wrong" || status=$?
[ $status = 2 ] || { cat "$work/host.out" >&2; fail "refused enrolment exited $status, not 2"; }
line=$(requests | tail -n 1)
has "$line" errorNo -4 || fail "wrong secret not refused with -4: $line"
cmp -s "$store" "$work/store.accepted" || fail "a refused enrolment changed the stored list"
requests | tail -n 1 | sed "s/^/$label: the server saw /"

echo "$label: enrolled through $2 under ${SEATENROL_LEG:-wine64} against enrol-server on port $port" \
  "(credential $credential), and a wrong secret was refused"
