#!/usr/bin/env bash
# run-tests.sh LIBRARY ENROL_SERVER SEAT_ENROL: runs test_seatenrol.py with
# them. The interpreter runs from a copy in a scratch folder, because the
# library keeps its log beside the program that loaded it. Exit status 77
# when python3 is missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v python3 >/dev/null; then
  echo "skipped: python3 is not installed (run make test as root to have it installed)"
  exit 77
fi
python=$(python3 -c 'import os, sys; print(os.path.realpath(sys.executable))') || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$python" "$scratch/python3" || exit 1
SEATENROL_LIBRARY=$1 ENROL_SERVER=$2 SEAT_ENROL=$3 "$scratch/python3" -B "$here/test_seatenrol.py" -v
