#!/usr/bin/env bash
# build.sh ARCH OUT: builds OUT/msvc-host.exe for ARCH (win32 or win64) in the
# Microsoft C++ ABI with clang and lld-link, against the shipped
# dist/ARCH/include and dist/ARCH/lib/seatenrol.lib only. No Visual C++
# headers or runtime exist here: stand-in/ supplies the few C headers, the
# entry point and the import libraries of msvcrt.dll and ws2_32.dll.
set -eu
cd "$(dirname "$0")/../.."
arch=$1
out=$2
case $arch in
  win32) target=i686-pc-windows-msvc machine=i386 ;;
  win64) target=x86_64-pc-windows-msvc machine=i386:x86-64 ;;
  *) echo "usage: $0 win32|win64 OUT" >&2; exit 2 ;;
esac
clang=$(command -v clang++-14 || command -v clang++)
lld_link=$(command -v lld-link-14 || command -v lld-link)
dlltool=$(command -v llvm-dlltool-14 || command -v llvm-dlltool)
here=examples/msvc-host
dist=dist/$arch
[ -f "$dist/lib/seatenrol.lib" ] || { echo "msvc-host: $dist/lib/seatenrol.lib is missing (make windows)" >&2; exit 1; }
mkdir -p "$out"

# One check per default and copy constructor the DLL exports, through its
# import slot (??0CLASS@@...@XZ takes nothing, ...@@...@ABV0@@Z or
# ...@AEBV0@@Z a const CLASS&); a constructor taking other arguments is left
# out, as no generic call can make them.
grep -E '^\?\?0[A-Za-z0-9_]+@@.*@(XZ|A(E)?BV0@@Z)$' "cmake/exports-msvc-$arch.txt" >"$out/constructors.txt"
{
  echo "// Made by build.sh from cmake/exports-msvc-$arch.txt."
  echo '#include "constructor_check.h"'
  n=0
  while IFS= read -r name; do
    echo "extern \"C\" void* const slot$n __asm__(\"__imp_$name\");"
    n=$((n + 1))
  done <"$out/constructors.txt"
  echo 'extern const ConstructorSlot kConstructors[] = {'
  n=0
  while IFS= read -r name; do
    class=${name#\?\?0}
    class=${class%%@@*}
    check=CheckConstructor
    [[ $name == *V0@@Z ]] && check=CheckCopyConstructor
    echo "    {\"$name\", &slot$n, &$check<$class>},"
    n=$((n + 1))
  done <"$out/constructors.txt"
  echo '};'
  echo "extern const int kConstructorCount = $n;"
} >"$out/constructors.cpp"

"$dlltool" -m "$machine" -d $here/stand-in/msvcrt.def -l "$out/msvcrt.lib"
# i686 names a __stdcall function by its argument bytes (_WSAStartup@8);
# x86_64 has no such decoration.
if [ $arch = win32 ]; then
  cp $here/stand-in/ws2_32.def "$out/ws2_32.def"
else
  sed 's/@[0-9]*$//' $here/stand-in/ws2_32.def >"$out/ws2_32.def"
fi
"$dlltool" -m "$machine" -k -d "$out/ws2_32.def" -l "$out/ws2_32.lib"

flags=(--target=$target -std=c++17 -O1 -Wall -Wextra -Werror -fno-exceptions -fno-rtti
  -nostdinc++ -nostdlibinc -isystem $here/stand-in -I "$dist/include" -I $here -I examples/common)
for src in $here/main.cpp $here/stand-in/startup.cpp "$out/constructors.cpp"; do
  "$clang" "${flags[@]}" -c "$src" -o "$out/$(basename "$src" .cpp).obj"
done
"$lld_link" /nologo /subsystem:console /entry:mainCRTStartup /nodefaultlib /out:"$out/msvc-host.exe" \
  "$out/main.obj" "$out/startup.obj" "$out/constructors.obj" \
  "$dist/lib/seatenrol.lib" "$out/msvcrt.lib" "$out/ws2_32.lib"
echo "msvc-host: built $out/msvc-host.exe ($target) against $dist/lib/seatenrol.lib"
