#!/usr/bin/env bash
# msvc-names.sh [--check]
#
# The Visual C++ names of the DLL's interface, read from the public headers
# (include/seatenrol/*.h) by clang in the Microsoft C++ ABI, per architecture:
#
#   cmake/exports-msvc-ARCH.txt   the decorated names, sorted (check-exports.sh
#                                 compares the DLL's table with it)
#   cmake/seatenrol-ARCH.def      the link's .def: each name = the code it reaches
#                                 (and on win32 the plain name of each
#                                 extern "C" __stdcall function = its
#                                 decorated symbol)
#   cmake/seatenrol-ARCH.lib.def  what llvm-dlltool makes seatenrol.lib from
#
# for ARCH win32 (i686) and win64 (x86_64). A member reaches its GCC-built
# code under the GCC name of the same declaration, except where the two
# conventions differ: a constructor (a Visual C++ caller expects `this` back)
# and a function taking a class by value reach a thunk named
# seatenrol_msvc_CLASS_construct (the default constructor),
# seatenrol_msvc_CLASS_copy, seatenrol_msvc_CLASS_construct_PARAMS (another
# constructor; PARAMS is its GCC parameter code, e.g. PKc for const char*) or
# seatenrol_msvc_CLASS_FUNCTION (src/session/msvc_abi_win.cpp).
#
# With --check it writes nothing and fails when the committed files differ
# from what the headers give, so a header change that alters a decorated name
# cannot pass unnoticed.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
check=0
[ "${1:-}" = --check ] && check=1

clang=$(command -v clang++-14 || command -v clang++ || true)
[ -n "$clang" ] || { echo "msvc-names: clang++ is needed (package clang-14)" >&2; exit 2; }
command -v jq >/dev/null || { echo "msvc-names: jq is needed (package jq)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One translation unit over every public header, as a user of the DLL sees
# them (SEATENROL_BUILDING unset). There is no C++ library for these targets
# here: the host's stand-in supplies <cstdint>; version.h only needs to exist.
mkdir -p "$work/include/seatenrol"
sed 's/@[A-Za-z_]*@/0/g' include/seatenrol/version.h.in >"$work/include/seatenrol/version.h"
for h in include/seatenrol/*.h; do
  printf '#include "seatenrol/%s"\n' "$(basename "$h")"
done >"$work/all.cpp"

# Rows of fields split by US (0x1f, so that an empty field stays a field):
# class (empty for a plain function), kind, name, offset, mangled name,
# parameter types (;-separated), return type.
cat >"$work/rows.jq" <<'EOF'
def exported: (.inner // []) | any(.kind == "DLLImportAttr");
def params: [(.inner // [])[] | select(.kind == "ParmVarDecl") | .type.qualType] | join(";");
def ret: .type.qualType | sub("\\s*\\(.*$"; "");
(.. | objects
 | select(.kind == "CXXRecordDecl" and .completeDefinition == true and exported) as $c
 | $c.inner[]
 | select((.kind | test("^CXX(Method|Constructor|Destructor)Decl$"))
          and (.isImplicit | not) and (.explicitlyDeleted | not))
 | [$c.name, .kind, .name, (.loc.offset | tostring), .mangledName, params, ret]),
(.. | objects | select(.kind == "FunctionDecl" and exported)
 | ["", .kind, .name, (.loc.offset | tostring), .mangledName, params, ret])
| join("\u001f")
EOF

rows() {
  "$clang" --target="$1" -std=c++17 -fsyntax-only -nostdinc++ \
    -I "$root/examples/msvc-host/stand-in" -I "$work/include" -I "$root/include" \
    -Xclang -ast-dump=json "$work/all.cpp" >"$work/ast.json"
  jq -r -f "$work/rows.jq" "$work/ast.json"
}

# $1 = win32|win64, $2 = Visual C++ triple, $3 = MinGW triple, $4 = the
# MinGW symbol prefix; writes the three files into $5.
generate() {
  local arch=$1 out=$5
  rows "$2" >"$work/msvc.rows"
  rows "$3" >"$work/gnu.rows"
  local classes
  classes=$(cut -d $'\x1f' -f 1 "$work/msvc.rows" | sort -u | grep . | paste -sd '|')
  local def=$out/seatenrol-$arch.def lib=$out/seatenrol-$arch.lib.def names=$out/exports-msvc-$arch.txt
  local header="; Generated from include/seatenrol/*.h by scripts/msvc-names.sh; do not edit."
  printf '%s\n; The Visual C++ names and the plain names of __stdcall functions; the GCC names come from SEATENROL_API.\nEXPORTS\n' "$header" >"$def"
  printf '%s\nLIBRARY seatenrol.dll\nEXPORTS\n' "$header" >"$lib"
  : >"$names"
  local status=0
  while IFS=$'\x1f' read -r class kind name offset msvc params ret gclass gkind gname goffset gnu _; do
    if [ "$class|$kind|$name|$offset" != "$gclass|$gkind|$gname|$goffset" ]; then
      echo "msvc-names: the two ABIs list different declarations ($class::$name, $gclass::$gname)" >&2
      return 1
    fi
    if [ -z "$class" ]; then
      if [[ $msvc == \?* ]]; then
        echo "msvc-names: $name is a C++ function outside a class; plain functions are extern \"C\"" >&2
        status=1
        continue
      fi
      if [[ $msvc =~ ^_($name@[0-9]+)$ ]]; then
        # __stdcall on i686: callers refer to the decorated name, the DLL
        # exports the plain one (as the Win32 API does). The .def renames the
        # export and keeps it out of the linker's import library; llvm-dlltool
        # -k imports the plain name under the decorated symbol (cmake/Seatenrol.cmake).
        printf '  %s = %s PRIVATE\n' "$name" "${gnu#"$4"}" >>"$def"
        printf '  %s\n' "${BASH_REMATCH[1]}" >>"$lib"
        continue
      fi
      # A plain extern "C" function keeps its own name in both ABIs.
      printf '  %s\n' "$name" >>"$lib"
      continue
    fi
    local target=${gnu#"$4"}
    case $kind in
      CXXConstructorDecl)
        if [ -z "$params" ]; then
          target=seatenrol_msvc_${class}_construct
        elif [ "$params" = "const $class &" ]; then
          target=seatenrol_msvc_${class}_copy
        else
          # Any other constructor: named by its GCC parameter code, which
          # tells overloads apart and is a valid identifier.
          target=seatenrol_msvc_${class}_construct_${gnu#*C1E}
        fi
        ;;
      CXXDestructorDecl)
        # clang names the declaration's vbase destructor (??_D); the symbol
        # a caller uses is the destructor itself (??1).
        msvc="??1${msvc#\?\?_D}"
        msvc="${msvc%XXZ}@XZ"
        ;;
    esac
    # By value, a class with a destructor is copied into the argument area
    # and destroyed by the callee in Visual C++; GCC passes its address.
    if [[ ";$params;" =~ \;($classes)\; ]]; then
      target=seatenrol_msvc_${class}_${name}
    fi
    if [[ $ret =~ ^($classes)$ ]]; then
      echo "msvc-names: no thunk rule for $class::$name, which returns a class by value" >&2
      status=1
    fi
    printf '  "%s" = %s\n' "$msvc" "$target" >>"$def"
    printf '  "%s"\n' "$msvc" >>"$lib"
    printf '%s\n' "$msvc" >>"$names"
  done < <(paste -d $'\x1f' "$work/msvc.rows" "$work/gnu.rows")
  LC_ALL=C sort -o "$names" "$names"
  local thunks
  thunks=$(grep -o 'seatenrol_msvc_[A-Za-z0-9_]*' "$def" | sort | uniq -d)
  if [ -n "$thunks" ]; then
    echo "msvc-names: overloads share a thunk name: $thunks" >&2
    status=1
  fi
  return $status
}

mkdir -p "$work/out"
generate win32 i686-pc-windows-msvc i686-w64-windows-gnu _ "$work/out"
generate win64 x86_64-pc-windows-msvc x86_64-w64-windows-gnu "" "$work/out"

if [ $check = 0 ]; then
  cp "$work"/out/* cmake/
  echo "msvc-names: wrote $(ls "$work/out" | sed 's|^|cmake/|' | paste -sd ' ')"
  exit 0
fi
status=0
for f in "$work"/out/*; do
  name=cmake/$(basename "$f")
  if ! diff -u --label "$name" --label "from the headers" "$name" "$f" >"$work/diff" 2>&1; then
    cat "$work/diff" >&2
    status=1
  fi
done
if [ $status != 0 ]; then
  echo "msvc-names: the public headers now give other Visual C++ names than the committed" \
    "lists; run scripts/msvc-names.sh and commit cmake/ with the header change" >&2
  exit 1
fi
echo "msvc-names: the committed Visual C++ names match the public headers"
