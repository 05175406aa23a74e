#!/usr/bin/env bash
# wine32-setup.sh [--check]
#
# Makes this machine run 32-bit Windows programs: Debian's wine32:i386 under
# qemu-i386 (from bookworm-backports; bookworm's own qemu is far too slow for
# wine), which binfmt_misc starts for every i386 ELF program with the F flag so
# that wine can re-execute its own loader. These kernels run no 32-bit code
# themselves, so emulation is the only way.
#
# As root it adds what is missing (the i386 architecture, the backports suite,
# the packages, the binfmt_misc mount and entry) and may be run any number of
# times. Otherwise, or with --check, it changes nothing. Either way it ends by
# checking that a 32-bit wine program starts, and exits 0 only then; on failure
# it says what is missing.
#
# It installs only from lists that apt itself verified against the signed
# Release files: when `apt-get update` keeps failing, nothing is installed and
# the caller skips the 32-bit leg. One workaround is an explicit opt-in:
#
#   SEATENROL_ACCEPT_STALE_INDEX=1
#       When a mirror caught mid-sync keeps serving an index of another size
#       than its Release file states, apt refuses it and keeps its old copy,
#       against which wine32:i386 may not resolve. With this set, each index
#       apt refused that way is fetched as served (over HTTPS) and stored
#       among apt's lists, and the install trusts it: a package list apt did
#       not verify. Only for machines whose operators accept that (.ci/run
#       sets it on the build machines).
#
#   SEATENROL_WINE32_LOADER=PATH
#       The 32-bit wine loader to check instead of /usr/lib/wine/wine (and
#       that scripts/windows.sh then runs the 32-bit leg with). Only checked,
#       never set up: pointing it at a path that does not exist shows how a
#       leg that cannot start is reported, without touching the machine.
set -u
check_only=0
[ "${1:-}" = --check ] && check_only=1
[ "$(id -u)" -eq 0 ] || check_only=1
[ -n "${SEATENROL_WINE32_LOADER:-}" ] && check_only=1

binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386
wine32=${SEATENROL_WINE32_LOADER:-/usr/lib/wine/wine}
backports=/etc/apt/sources.list.d/bookworm-backports.sources
# i386 ELF executables (ET_EXEC and ET_DYN); the mask leaves out the OS ABI and
# the low bit of the type.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

say() { echo "wine32-setup: $*"; }
missing=()

have_i386() { dpkg --print-foreign-architectures 2>/dev/null | grep -qx i386; }
have_backports() { grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# qemu-user 7 spends about a minute of CPU in every wine process before main.
qemu_is_usable() {
  [ -x "$qemu" ] || return 1
  local major
  major=$("$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  [ -n "$major" ] && [ "$major" -ge 8 ]
}
binfmt_registered() {
  [ -f "$binfmt/qemu-i386" ] && grep -qx enabled "$binfmt/qemu-i386" &&
    grep -q "^interpreter $qemu\$" "$binfmt/qemu-i386" && grep -q '^flags:.*F' "$binfmt/qemu-i386"
}

# apt-get update, retried: the mirrors are sometimes caught mid-sync ("File has
# unexpected size ... Mirror sync in progress?"), which passes in a minute or two.
apt_update() {
  local attempt
  update_log=
  for attempt in 1 2 3; do
    if update_log=$(apt-get update -qq 2>&1) && ! printf '%s\n' "$update_log" | grep -q '^E:'; then
      return 0
    fi
    say "apt-get update failed (attempt $attempt of 3):"
    printf '%s\n' "$update_log" | grep -E '^(E|W):' | sed 's/^/  /' | head -n 5
    [ $attempt = 3 ] || sleep 20
  done
  return 1
}

# SEATENROL_ACCEPT_STALE_INDEX=1 only (see the top): each index apt refused
# for its size is fetched as served and stored as apt stores its lists
# (compression included), so wine32:i386 resolves against the newer amd64
# libraries. Over HTTPS, so at least the mirror is the one named.
store_unexpected_indexes() {
  local url name suffix
  command -v curl >/dev/null && command -v xz >/dev/null || return 1
  for url in $(printf '%s\n' "$update_log" |
    sed -n 's/^E: Failed to fetch \(http[^ ]*\.xz\) .*unexpected size.*/\1/p'); do
    name=/var/lib/apt/lists/$(printf '%s' "${url#*://}" | tr / _)
    name=${name%.xz}
    suffix=$(ls /var/lib/apt/lists | sed -n 's/.*_Packages\(\.[a-z0-9]*\)$/\1/p' | head -n 1)
    url=https://${url#*://}
    say "storing $url as served, unverified (SEATENROL_ACCEPT_STALE_INDEX=1)"
    case $suffix in
      .lz4)
        command -v lz4 >/dev/null || return 1
        curl -fsS --proto =https "$url" | xz -dc | lz4 -q -f - "$name.lz4"
        ;;
      .gz) curl -fsS --proto =https "$url" | xz -dc | gzip -c >"$name.gz" ;;
      .xz) curl -fsS --proto =https "$url" >"$name.xz" ;;
      *) curl -fsS --proto =https "$url" | xz -dc >"$name" ;;
    esac || return 1
  done
}

install_packages() {
  export DEBIAN_FRONTEND=noninteractive
  local need_wine=0 need_qemu=0
  installed wine32:i386 && [ -x "$wine32" ] || need_wine=1
  qemu_is_usable || need_qemu=1
  [ $need_wine = 0 ] && [ $need_qemu = 0 ] && return 0
  if ! have_i386; then
    say "adding the i386 architecture"
    dpkg --add-architecture i386
  fi
  if ! have_backports; then
    say "adding bookworm-backports to apt's sources"
    cat >"$backports" <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  if ! apt_update; then
    if [ "${SEATENROL_ACCEPT_STALE_INDEX:-0}" != 1 ]; then
      say "apt-get update kept failing, so apt could not verify its package lists;"
      say "installing nothing from them (a mirror caught mid-sync passes in a few minutes;"
      say "SEATENROL_ACCEPT_STALE_INDEX=1 accepts an index as the mirror serves it)"
      return 1
    fi
    store_unexpected_indexes || { say "could not fetch the indexes apt refused"; return 1; }
  fi
  if [ $need_wine = 1 ]; then
    say "installing wine32:i386 (about 150 MB)"
    apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null ||
      { say "could not install wine32:i386 (apt's lists may be out of step; run again later)"; return 1; }
  fi
  if [ $need_qemu = 1 ]; then
    say "installing qemu-user from bookworm-backports"
    apt-get install -y -qq -t bookworm-backports qemu-user >/dev/null ||
      { say "could not install qemu-user from bookworm-backports"; return 1; }
  fi
}

setup_binfmt() {
  if [ ! -f "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      { say "could not mount binfmt_misc at $binfmt"; return 1; }
  fi
  binfmt_registered && return 0
  # An entry of the same name with other settings is replaced.
  [ -f "$binfmt/qemu-i386" ] && echo -1 >"$binfmt/qemu-i386"
  echo ":qemu-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register" ||
    { say "could not register $qemu with binfmt_misc"; return 1; }
}

if [ $check_only = 0 ]; then
  install_packages || exit 1
  setup_binfmt || exit 1
fi

installed wine32:i386 || missing+=("package wine32:i386")
[ -x "$wine32" ] || missing+=("the 32-bit wine loader $wine32")
qemu_is_usable || missing+=("qemu-i386 8 or later (package qemu-user from bookworm-backports)")
[ -f "$binfmt/register" ] || missing+=("binfmt_misc mounted at $binfmt")
binfmt_registered || missing+=("a binfmt_misc entry running i386 programs under $qemu with the F flag")
if [ ${#missing[@]} -ne 0 ]; then
  say "32-bit wine cannot run here; missing: $(printf '%s; ' "${missing[@]}" | sed 's/; $//')"
  [ "$(id -u)" -eq 0 ] || say "(run as root to set it up)"
  exit 1
fi
if ! version=$(timeout 120 "$wine32" --version 2>&1); then
  say "$wine32 does not start under $qemu: $version"
  exit 1
fi
say "32-bit wine ready ($version under $("$qemu" --version | head -n 1))"
