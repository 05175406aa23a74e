#!/usr/bin/env bash
# ensure-packages.sh PACKAGE...: installs the Debian packages that are missing
# when running as root; otherwise names them and exits 1.
set -u
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # An index that fails to refresh (a mirror caught mid-sync) leaves the
  # older one in use, which still serves; only a failed install is fatal.
  apt-get update -qq >/dev/null 2>&1 || echo "apt-get update reported errors; installing from the indexes at hand" >&2
  apt-get install -y -qq "${missing[@]}" >/dev/null && exit 0
  echo "could not install: ${missing[*]}" >&2
  exit 1
fi
echo "missing packages: ${missing[*]} (install them, or run as root to have them installed)" >&2
exit 1
