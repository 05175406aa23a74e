#!/usr/bin/env bash
# run.sh ARCH: builds the Visual C++-ABI host for ARCH (win32 or win64)
# against the shipped dist/ARCH and runs it under wine (SEATENROL_WINE,
# WINEPREFIX, as scripts/windows.sh sets them): the request and answer it
# encodes must equal the native build's bytes, every constructor called
# through its import slot must return `this`, and it must enrol against
# enrol-server on 127.0.0.1 and see a wrong secret refused.
set -eu
cd "$(dirname "$0")/../.."
arch=${1:-}
case $arch in
  win32 | win64) ;;
  *) echo "usage: $0 win32|win64" >&2; exit 2 ;;
esac
wine=${SEATENROL_WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
out=build/msvc-host/$arch
examples/msvc-host/build.sh "$arch" "$out"

fail() {
  echo "msvc-host ($arch): $*" >&2
  exit 1
}

# The same source built natively against the native library.
native=$(examples/native-build.sh seatenrol)
reference=build/msvc-host/native/msvc-host
mkdir -p "$(dirname "$reference")"
c++ -std=c++17 -O1 -Wall -Wextra -Werror -I include -I "$native/generated/include" -I examples/common \
  examples/msvc-host/main.cpp -o "$reference" -L "$native" -lseatenrol -Wl,-rpath,"$PWD/$native"

mkdir -p "$out/run"
cp "$out/msvc-host.exe" "dist/$arch/bin/seatenrol.dll" "$out/run/"
# msvcrt writes text-mode line ends.
timeout 120 "$wine" "$out/run/msvc-host.exe" encode >"$out/encode.out" 2>&1 ||
  { cat "$out/encode.out" >&2; fail "encode failed"; }
"$reference" encode >"$out/encode.native"
if ! tr -d '\r' <"$out/encode.out" | diff -u --label native --label "$arch" "$out/encode.native" -; then
  fail "the bytes encoded through seatenrol.lib differ from the native build's"
fi
echo "msvc-host ($arch): request and answer bytes equal the native build's"

timeout 120 "$wine" "$out/run/msvc-host.exe" constructors >"$out/constructors.out" 2>&1 ||
  { cat "$out/constructors.out" >&2; fail "a constructor does not return this"; }
echo "msvc-host ($arch): $(tr -d '\r' <"$out/constructors.out" | tail -n 1)"

examples/terminal-host/run-under-wine.sh "$out/msvc-host.exe" "dist/$arch/bin/seatenrol.dll"
