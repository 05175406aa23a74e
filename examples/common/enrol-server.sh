# enrol-server.sh: sourced by the example hosts' run scripts, from the top of
# the source tree, after they set $work (a folder of the run's own) or before
# wine_host_start sets it. Runs tools/enrol-server on 127.0.0.1 for a host
# under test.
#
#   enrol_server_start NAME VENUES [FLAG...]
#       starts one on a free port with the venue table VENUES and FLAGs, its
#       output in $work/NAME.out; sets enrol_server_port and enrol_server_pid,
#       or returns 1 when it reports no port within 10 s
#   enrol_server_stop PID
#   enrol_server_stop_all      every one started (for the run's exit trap)
#   wine_path PATH             PATH as a program under wine names it
#
#   wine_host_start NAME       for a host under wine: the wine settings
#                              scripts/windows.sh gives (SEATENROL_WINE as
#                              $wine, WINEPREFIX, quiet) or their defaults, a
#                              fresh $work under build/hosts/ named NAME, and
#                              an exit trap that stops the servers and
#                              removes $work
#
# SEATENROL_ENROL_SERVER names the program; by default examples/native-build.sh
# builds it.

enrol_server_pids=()

enrol_server_start() {
  local name=$1 venues=$2
  shift 2
  if [ -z "${SEATENROL_ENROL_SERVER:-}" ]; then
    SEATENROL_ENROL_SERVER=$(examples/native-build.sh enrol-server)/tools/enrol-server
  fi
  : >"$work/$name.out"
  "$SEATENROL_ENROL_SERVER" --venues "$venues" --port 0 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  enrol_server_pid=$!
  enrol_server_pids+=("$enrol_server_pid")
  enrol_server_port=
  local _
  for _ in $(seq 100); do
    enrol_server_port=$(sed -n 's/.*"event":"listening".*"port":\([0-9]*\).*/\1/p' "$work/$name.out")
    [ -n "$enrol_server_port" ] && return 0
    sleep 0.1
  done
  return 1
}

enrol_server_stop() {
  { kill "$1" && wait "$1"; } 2>/dev/null || true
  local kept=() pid
  for pid in "${enrol_server_pids[@]}"; do
    [ "$pid" = "$1" ] || kept+=("$pid")
  done
  enrol_server_pids=("${kept[@]}")
}

enrol_server_stop_all() {
  while [ ${#enrol_server_pids[@]} -gt 0 ]; do
    enrol_server_stop "${enrol_server_pids[0]}"
  done
}

# Drive Z: is the Linux root in every wine prefix.
wine_path() { printf 'Z:%s' "$1" | tr / '\\'; }

wine_host_start() {
  wine=${SEATENROL_WINE:-/usr/lib/wine/wine64}
  export WINEPREFIX=${WINEPREFIX:-$PWD/build/win64/wineprefix}
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  mkdir -p build/hosts
  work=$(mktemp -d "$PWD/build/hosts/$1.XXXXXX")
  trap 'enrol_server_stop_all; rm -rf "$work"' EXIT
}
