#!/usr/bin/env bash
# seat_enrol_wine.sh ARCH: the shipped dist/ARCH/bin/seat-enrol.exe (ARCH
# win32 or win64) under wine (SEATENROL_WINE, WINEPREFIX, as
# scripts/windows.sh sets them) against the Linux enrol-server on
# 127.0.0.1. It must import only system DLLs, print its version and the
# seatenrol.dll beside it, the seat's identity and its explanation naming
# every interface, enrol with --verbose (piped: UTF-8 holding the library's
# Chinese log text; on a UTF-8 terminal through the console: the same text),
# report a refusal and a server that does not answer, list and forget.
set -eu
cd "$(dirname "$0")/../.."
arch=${1:-}
bin=dist/$arch/bin
if [ -z "$arch" ] || [ ! -f "$bin/seat-enrol.exe" ]; then
  echo "usage: $0 win32|win64, once make windows has made $bin/seat-enrol.exe" >&2
  exit 2
fi
label="seat-enrol ($arch)"
. examples/common/enrol-server.sh
wine_host_start "seat-enrol-$arch"
fail() {
  echo "$label: $*" >&2
  tail -n 3 "$work"/*.out >&2 || true
  exit 1
}

# The MinGW objdump for x86-64 reads both architectures.
imports=$(x86_64-w64-mingw32-objdump -p "$bin/seat-enrol.exe" |
  sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr '[:upper:]' '[:lower:]')
for dll in $imports; do
  [[ $dll =~ ^(kernel32|msvcrt|ws2_32|iphlpapi|advapi32|shell32|version)\.dll$ ]] ||
    fail "seat-enrol.exe imports $dll, which is not a system DLL"
done

mkdir "$work/bin" "$work/config" "$work/console"
cp "$bin/seat-enrol.exe" "$bin/seatenrol.dll" "$work/bin/"
export SEATENROL_CONFIG_DIR
SEATENROL_CONFIG_DIR=$(wine_path "$work/config")
store=$(wine_path "$work/config/regaddrs.dat")
venue=44030500012345
secret=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
wrong=ff0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f
printf '%s %s\n' "$venue" "$secret" >"$work/venues"
enrol_server_start server "$work/venues" || fail "enrol-server did not report its port"
good=$enrol_server_port
enrol_server_start dropping "$work/venues" --drop || fail "enrol-server --drop did not report its port"
dropping=$enrol_server_port
version=$(sed -n 's/^#define SEATENROL_VERSION_STRING "\(.*\)"$/\1/p' "dist/$arch/include/seatenrol/version.h")
written=$(printf '\xE5\x86\x99\xE6\xB3\xA8\xE5\x86\x8C\xE4\xBF\xA1\xE6\x81\xAF') # the log's "registration written"

# seat-enrol ARGS...: standard output and error, as msvcrt writes them (CR LF)
# to a pipe, in $work/out with Linux line ends; the exit status in $status.
seat_enrol() {
  status=0
  (cd "$work/bin" && timeout 120 "$wine" ./seat-enrol.exe "$@") >"$work/out.raw" 2>&1 || status=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
}
# expect STATUS LINE...: the last run ended with STATUS and wrote each LINE whole.
expect() {
  local line
  [ "$status" = "$1" ] || fail "exit status $status, not $1:$(printf '\n'; cat "$work/out")"
  shift
  for line in "$@"; do
    grep -qxF -- "$line" "$work/out" || fail "no line '$line' in:$(printf '\n'; cat "$work/out")"
  done
}

seat_enrol --version
expect 0 "seat-enrol $version" "library $version, built into this program"
beside="$(wine_path "$work/bin")\\seatenrol.dll"
case $(sed -n 's/^beside it: //p' "$work/out") in
  "$beside, no version resource" | "$beside, file version "[0-9]*) ;;
  *) fail "the seatenrol.dll beside it is not named: $(cat "$work/out")" ;;
esac

seat_enrol identity
expect 0 "host name: $(hostname | cut -c 1-20)"
ip=$(sed -n 's/^ip: //p' "$work/out")
mac=$(sed -n 's/^mac: //p' "$work/out")
seat_enrol identity --explain
expect 0
for line in "ip: $ip (" "mac: $mac (" "adapter rule ("; do
  grep -qF -- "$line" "$work/out" || fail "the explanation lacks '$line': $(cat "$work/out")"
done
# The fallback is told where no adapter was taken.
grep -qE -- "^fallback: |: taken: " "$work/out" || fail "the explanation tells no fallback: $(cat "$work/out")"
# wine describes each adapter by its Linux interface's name; loopback is no adapter.
for interface in $(ls /sys/class/net); do
  [ "$interface" = lo ] || grep -qF "($interface): " "$work/out" ||
    fail "the explanation does not name $interface: $(cat "$work/out")"
done

seat_enrol enrol --venue "$venue" --secret "$secret" --server 127.0.0.1 --port "$good" --verbose
expect 0
grep -qE "^enrolled: 127\.0\.0\.1:$good accepted venue $venue, credential [0-9a-f]{8}$(printf '\xE2\x80\xA6')$" \
  "$work/out" || fail "no enrolled line: $(cat "$work/out")"
grep -q "^debug: $written" "$work/out" && grep -q "^log: .*$written" "$work/out" ||
  fail "the verbose output lacks the library's messages in UTF-8: $(cat "$work/out")"
request=$(grep '"event":"request"' "$work/server.out" | tail -n 1)
case $request in
  *"\"localIP\":\"$ip\""*"\"localMAC\":\"$mac\""*) ;;
  *) fail "the request does not carry the identity shown ($ip, $mac): $request" ;;
esac

seat_enrol enrol --venue "$venue" --secret "$wrong" --server 127.0.0.1 --port "$good"
expect 2 "refused: 127.0.0.1:$good refused the enrolment with error -4 (wrong secret)"
seat_enrol enrol --venue "$venue" --secret "$secret" --server 127.0.0.1 --port "$dropping"
expect 2 "failed: no answer from 127.0.0.1:$dropping within 5 s"

seat_enrol list
expect 0 "store: $store" "servers: 1"
grep -qE "^ 0  127\.0\.0\.1 +port $good +enrolled 1  credential [0-9a-f]{64}$" "$work/out" ||
  fail "the list does not hold the enrolment: $(cat "$work/out")"
seat_enrol forget --server 127.0.0.1 --port "$good"
expect 0 "forgot: 127.0.0.1:$good in $store"
seat_enrol list
expect 0 "servers: 0"

# A console gets UTF-16, which wine's console shows on a UTF-8 terminal.
SEATENROL_CONFIG_DIR=$(wine_path "$work/console") LC_ALL=C.UTF-8 \
  script -qec "cd '$work/bin' && timeout 120 '$wine' ./seat-enrol.exe enrol --venue $venue \
    --secret $secret --server 127.0.0.1 --port $good --verbose" /dev/null >"$work/console.raw" 2>&1 ||
  fail "seat-enrol on a terminal failed: $(cat "$work/console.raw")"
grep -qF "$written" "$work/console.raw" ||
  fail "the console does not show the library's Chinese text: $(cat -v "$work/console.raw")"

echo "$label: version, identity, explanation, enrolment (UTF-8 piped and on a console), refusal," \
  "no answer, list and forget under ${SEATENROL_LEG:-wine64}"
