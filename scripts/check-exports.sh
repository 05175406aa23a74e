#!/usr/bin/env bash
# check-exports.sh [--update] DLL LIST [MSVC_LIST]
#
# Checks both name sets of DLL's export table. The GCC names (and the plain
# functions) are compared with LIST (sorted names, one a line); with
# --update, they are written to LIST instead. The Visual C++ names (those
# starting with ?) are compared with MSVC_LIST, by default
# cmake/exports-msvc-ARCH.txt for the DLL's architecture (win32 or win64),
# which scripts/msvc-names.sh writes from the public headers. Either way the
# DLL must export only the library's own classes and plain functions, and
# import only system DLLs.
set -eu
. "$(dirname "$0")/export-lists.sh"
update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
if [ $# -ne 2 ] && [ $# -ne 3 ]; then
  echo "usage: $0 [--update] DLL LIST [MSVC_LIST]" >&2
  exit 2
fi
dll=$1
list=$2
msvc_list=${3:-}

# The first objdump that reads the DLL's format (32- or 64-bit).
dump=
for tool in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
  if command -v "$tool" >/dev/null && dump=$("$tool" -p "$dll" 2>/dev/null); then
    break
  fi
  dump=
done
[ -n "$dump" ] || { echo "check-exports: no objdump reads $dll" >&2; exit 2; }
case $(printf '%s\n' "$dump" | sed -n 's/.*file format //p' | head -n 1) in
  pei-i386) arch=win32 ;;
  pei-x86-64) arch=win64 ;;
  *) echo "check-exports: $dll is neither a 32- nor a 64-bit Windows DLL" >&2; exit 2 ;;
esac
[ -n "$msvc_list" ] || msvc_list=$(dirname "$(dirname "$0")")/cmake/exports-msvc-$arch.txt

# The names of the [Ordinal/Name Pointer] Table, which ends at a blank line.
exports=$(printf '%s\n' "$dump" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' |
  LC_ALL=C sort)
if [ -z "$exports" ]; then
  echo "check-exports: $dll exports nothing" >&2
  exit 1
fi

# The two name sets.
msvc_exports=$(printf '%s\n' "$exports" | grep '^?' || true)
exports=$(printf '%s\n' "$exports" | grep -v '^?' || true)

status=0

# Members (functions, and the vtable or type information a class may carry)
# of the exported classes, and the plain functions.
classes='CRegisterSession|CPSCRegisterCommand|CResponseCommandReg|RegError|CBuf|CP2PCommunication|CSocketAddress|CTavConfig'
class_member="^_Z(N|NK|TV|TI|TS)[0-9]+($classes)"
# The C interface's functions carry their plain names on both architectures
# (seatenrol_enrol, never the i686 decoration seatenrol_enrol@20).
plain='^(CreateError|SeatenrolSetDebugSink|seatenrol_[a-z_]+)$'
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
# A Visual C++ name is ?NAME@CLASS@@... or, for a constructor, destructor or
# operator, ??CODE CLASS@@...
msvc_member="^\\?(\\?[0-9A-Z]|[A-Za-z_][A-Za-z0-9_]*@)($classes)@@"
stray+=$(printf '%s\n' "$msvc_exports" | grep -vE "$msvc_member" | grep . || true)
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
  write_export_list "$exports" "$list"
  exit 0
fi

compare_export_list "$list" "$dll" "$exports" "the GCC names" "create it with --update" || status=1
compare_export_list "$msvc_list" "$dll" "$msvc_exports" "the Visual C++ names" \
  "scripts/msvc-names.sh writes it" || status=1
[ $status = 0 ] && echo "check-exports: $dll exports the $(wc -l <"$list") GCC names of $list and the" \
  "$(wc -l <"$msvc_list") Visual C++ names of $msvc_list, and imports only system DLLs"
exit $status
