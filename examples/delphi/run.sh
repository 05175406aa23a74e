#!/usr/bin/env bash
# run.sh LIBRARY: compiles seatenrol.pas and check.dpr with Free Pascal in
# Delphi mode (fpc -Mdelphi) and runs the check against LIBRARY
# (libseatenrol.so). The check runs from a scratch folder, because the
# library keeps its log beside the program that loaded it. Exit status 77
# when fpc is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v fpc >/dev/null; then
  echo "skipped: fpc is not installed (package fp-compiler; make test installs it when run as root)"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
library=$(cd "$(dirname "$1")" && pwd)
# -Sew: a warning fails the build; -Fl: where -lseatenrol is found.
fpc -Mdelphi -Sew -vw -FU"$scratch" -FE"$scratch" -Fl"$library" -o"$scratch/seatenrol-check" \
  "$here/check.dpr" >"$scratch/fpc.log" 2>&1 || { cat "$scratch/fpc.log"; exit 1; }
mkdir "$scratch/store"
SEATENROL_CONFIG_DIR="$scratch/store" LD_LIBRARY_PATH="$library${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  "$scratch/seatenrol-check"
