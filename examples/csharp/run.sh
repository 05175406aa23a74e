#!/usr/bin/env bash
# run.sh LIBRARY ENROL_SERVER: compiles SeatEnrol.cs and Check.cs with mcs
# and runs the check under mono against LIBRARY (libseatenrol.so). Mono runs
# from a copy in a scratch folder, because the library keeps its log beside
# the program that loaded it. Exit status 77 when mcs or mono is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
for tool in mcs mono; do
  if ! command -v $tool >/dev/null; then
    echo "skipped: $tool is not installed (packages mono-mcs and mono-runtime; make test installs them when run as root)"
    exit 77
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mcs -nologo -warnaserror -out:"$scratch/seatenrol-check.exe" "$here/SeatEnrol.cs" "$here/Check.cs" || exit 1
cp "$(readlink -f "$(command -v mono)")" "$scratch/mono" || exit 1
mkdir "$scratch/store"
SEATENROL_CONFIG_DIR="$scratch/store" LD_LIBRARY_PATH="$(dirname "$1")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  "$scratch/mono" "$scratch/seatenrol-check.exe" "$2" "$scratch"
