#!/usr/bin/env bash
# check-exports.sh [--update] DLL LIST
#
# Compares the export table of DLL with LIST (sorted names, one a line) and
# fails on any difference; with --update, writes the table to LIST instead.
# Either way the DLL must export only the library's own classes and plain
# functions, and import only system DLLs.
set -eu
update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [--update] DLL LIST" >&2
  exit 2
fi
dll=$1
list=$2

# The first objdump that reads the DLL's format (32- or 64-bit).
dump=
for tool in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
  if command -v "$tool" >/dev/null && dump=$("$tool" -p "$dll" 2>/dev/null); then
    break
  fi
  dump=
done
[ -n "$dump" ] || { echo "check-exports: no objdump reads $dll" >&2; exit 2; }

# The names of the [Ordinal/Name Pointer] Table, which ends at a blank line.
exports=$(printf '%s\n' "$dump" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' |
  LC_ALL=C sort)
if [ -z "$exports" ]; then
  echo "check-exports: $dll exports nothing" >&2
  exit 1
fi

status=0

# Members (functions, and the vtable or type information a class may carry)
# of the exported classes, and the plain functions.
classes='CRegisterSession|CPSCRegisterCommand|CResponseCommandReg|RegError|CBuf|CP2PCommunication|CSocketAddress|CTavConfig'
class_member="^_Z(N|NK|TV|TI|TS)[0-9]+($classes)"
plain='^(CreateError|SeatenrolSetDebugSink)$'
stray=$(printf '%s\n' "$exports" | while read -r name; do
  len_ok=0
  if [[ $name =~ $plain ]]; then
    continue
  fi
  if [[ $name =~ $class_member ]]; then
    # The length prefix must match the class name that follows it.
    n=${BASH_REMATCH[1]}
    n=${name#_Z"$n"}
    digits=${n%%[!0-9]*}
    rest=${n#"$digits"}
    [ "${#rest}" -ge "$digits" ] && [[ ${rest:0:$digits} =~ ^($classes)$ ]] && len_ok=1
  fi
  [ $len_ok = 1 ] || echo "$name"
done)
if [ -n "$stray" ]; then
  echo "check-exports: $dll exports names outside its interface:" >&2
  printf '  %s\n' $stray >&2
  status=1
fi

# Only DLLs every Windows system has.
system_dlls='^(kernel32|msvcrt|ws2_32|iphlpapi|advapi32|user32)\.dll$'
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
for d in $imports; do
  lower=$(printf '%s' "$d" | tr '[:upper:]' '[:lower:]')
  if ! [[ $lower =~ $system_dlls ]]; then
    echo "check-exports: $dll imports $d, which is not a system DLL" >&2
    status=1
  fi
done

if [ $update = 1 ]; then
  [ $status = 0 ] || exit $status
  printf '%s\n' "$exports" >"$list"
  echo "check-exports: wrote $(printf '%s\n' "$exports" | wc -l) names to $list"
  exit 0
fi

if [ ! -f "$list" ]; then
  echo "check-exports: $list is missing (create it with --update)" >&2
  exit 1
fi
if ! difference=$(diff -u --label "$list" --label "$dll" "$list" <(printf '%s\n' "$exports")); then
  echo "check-exports: the export table of $dll differs from $list" >&2
  printf '%s\n' "$difference" >&2
  status=1
fi
[ $status = 0 ] && echo "check-exports: $dll exports the $(wc -l <"$list") names of $list and imports only system DLLs"
exit $status
