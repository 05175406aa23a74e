#!/usr/bin/env bash
# check-imports.sh IMAGE...: every function each DLL or program imports must
# be listed in cmake/imports-windows.txt as present on the oldest Windows we
# support (cmake/windows-floor.cmake), so nothing we ship fails to load there
# with "entry point not found". Fails naming each import that is missing, and
# each line of the list that names a version above the floor. How to add an
# import: the list's own header. Tool of package llvm-14.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 IMAGE..." >&2; exit 2; }
here=$(dirname "$0")/..
list=$here/cmake/imports-windows.txt
floor_file=$here/cmake/windows-floor.cmake
floor=$(sed -n 's/^set(SEATENROL_WINDOWS_FLOOR \(0x[0-9A-Fa-f]\{4\}\))$/\1/p' "$floor_file")
name=$(sed -n 's/^set(SEATENROL_WINDOWS_FLOOR_NAME "\(.*\)")$/\1/p' "$floor_file")
[ -n "$floor" ] || { echo "check-imports: no SEATENROL_WINDOWS_FLOOR in $floor_file" >&2; exit 2; }
floor_version=$((floor >> 8)).$((floor & 0xFF))
status=0

# The list: DLL!FUNCTION VERSION, comments and blank lines aside.
listed=$(awk -v name="$name ($((floor >> 8)).$((floor & 0xFF)))" '
  /^[[:space:]]*(#|$)/ { next }
  NF != 2 || $1 !~ /^[a-z0-9_]+![A-Za-z0-9_@?$#]+$/ || $2 !~ /^[0-9]+\.[0-9]+$/ {
    printf "check-imports: %s line %d is not DLL!FUNCTION VERSION: %s\n", FILENAME, NR, $0 > "/dev/stderr"
    bad = 1; next
  }
  {
    split($2, v, ".")
    if (v[1] * 256 + v[2] > floor + 0) {
      printf "check-imports: %s line %d: %s came with Windows %s, after %s\n", FILENAME, NR, $1, $2, name > "/dev/stderr"
      bad = 1; next
    }
    print $1
  }
  END { exit bad }' floor="$((floor))" "$list") || status=1

for image in "$@"; do
  # Import and delay-import tables alike; a function imported by ordinal
  # only is named DLL!#ORDINAL.
  imports=$(llvm-readobj-14 --coff-imports "$image" | awk '
    /^ *(Import|DelayImport) \{/ { dll = "" }
    /^ *Name: / { dll = tolower($2); sub(/\.dll$/, "", dll) }
    /^ *Symbol: / { fn = $2; if (fn == "" || fn ~ /^\(/) fn = "#" $NF; print dll "!" fn }
    ' | LC_ALL=C sort -u)
  if [ -z "$imports" ]; then
    echo "check-imports: $image imports nothing, or llvm-readobj-14 cannot read it" >&2
    status=1
    continue
  fi
  missing=$(LC_ALL=C comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$listed" | LC_ALL=C sort -u))
  if [ -n "$missing" ]; then
    for import in $missing; do
      echo "check-imports: $image imports $import, which cmake/imports-windows.txt does not list" \
        "as present on $name ($floor_version)" >&2
    done
    status=1
  else
    echo "check-imports: $image imports $(printf '%s\n' "$imports" | wc -l) functions, each present on" \
      "$name ($floor_version) by cmake/imports-windows.txt"
  fi
done
exit $status
