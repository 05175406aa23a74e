#!/usr/bin/env bash
# check-exports-linux.sh [--update] [LIB [LIST]]
#
# Compares the dynamic symbols the shared library LIB defines (nm -D
# --defined-only; default build/native/libseatenrol.so) with LIST (sorted
# names, one a line; default cmake/exports-linux.txt) and fails on any
# difference; with --update, writes them to LIST instead. Either way LIB
# must export no standard-library instantiation and carry the SONAME
# libseatenrol.so.MAJOR.
set -eu
. "$(dirname "$0")/export-lists.sh"
update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
if [ $# -gt 2 ]; then
  echo "usage: $0 [--update] [LIB [LIST]]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
lib=${1:-$root/build/native/libseatenrol.so}
list=${2:-$root/cmake/exports-linux.txt}
[ -f "$lib" ] || { echo "check-exports: $lib does not exist (build it first)" >&2; exit 2; }

symbols=$(nm -D --defined-only "$lib") || { echo "check-exports: nm cannot read $lib" >&2; exit 2; }
exports=$(printf '%s\n' "$symbols" | awk 'NF >= 3 { print $3 }' | LC_ALL=C sort -u)
if [ -z "$exports" ]; then
  echo "check-exports: $lib exports nothing" >&2
  exit 1
fi

status=0

# Weak and unique symbols are what template instantiations leave; the
# standard library's belong to libstdc++, never to this interface.
stray=$(printf '%s\n' "$symbols" | awk 'NF >= 3 && $2 ~ /^[WVu]$/ { print $3 }' | c++filt |
  grep -E '^(typeinfo (name )?for |vtable for |guard variable for )?(std::|__gnu_cxx::|__cxxabiv1::)' || true)
if [ -n "$stray" ]; then
  echo "check-exports: $lib exports standard-library instantiations:" >&2
  printf '%s\n' "$stray" | sed 's/^/  /' >&2
  status=1
fi

soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if ! [[ $soname =~ ^libseatenrol\.so\.[0-9]+$ ]]; then
  echo "check-exports: $lib has the SONAME '${soname}', not libseatenrol.so.MAJOR" >&2
  status=1
fi

if [ $update = 1 ]; then
  [ $status = 0 ] || exit $status
  write_export_list "$exports" "$list"
  exit 0
fi

if ! compare_export_list "$list" "$lib" "$exports" "the symbols" "create it with $0 --update"; then
  echo "(after a deliberate change to the interface: $0 --update)" >&2
  status=1
fi
[ $status = 0 ] && echo "check-exports: $lib ($soname) exports the $(wc -l <"$list") names of $list"
exit $status
