#!/usr/bin/env bash
# windows-archive.sh ARCH...: packs dist/ARCH (win32 or win64) into
# dist/seatenrol-VERSION-ARCH.zip, with the SHA-256 beside it in
# dist/seatenrol-VERSION-ARCH.zip.sha256 (check with sha256sum -c in dist/).
#
# The archive holds one folder seatenrol-VERSION-ARCH/ with whatever
# dist/ARCH holds (bin/ with the DLL and its PDB, lib/, include/), the
# README for Windows users (docs/windows-package.md), under examples/ the
# hosts in C, Python, C# and Delphi (copy_examples below), and under licences/
# the licences of the runtime the DLL carries inside (libstdc++ and libgcc,
# winpthreads and the MinGW-w64 start-up code), taken from the packages of
# the compiler that built it. dist/ARCH is what `make windows` (windows.sh
# dist) writes.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
unset MAKEFLAGS MFLAGS MAKELEVEL
[ $# -ge 1 ] || { echo "usage: $0 ARCH..." >&2; exit 2; }

triple_of() {
  case $1 in
    win32) echo i686-w64-mingw32 ;;
    win64) echo x86_64-w64-mingw32 ;;
    *) echo "windows-archive: unknown ARCH '$1' (win32 or win64)" >&2; return 2 ;;
  esac
}

# The Debian copyright file of the package that holds each static runtime
# piece the DLL links (cmake/Seatenrol.cmake: -static-libgcc
# -static-libstdc++ -static), one file per package.
copy_licences() {
  local triple=$1 to=$2 piece file package sum seen=" "
  command -v dpkg >/dev/null || { echo "windows-archive: dpkg is needed to find the runtime's licences" >&2; return 1; }
  mkdir -p "$to"
  for piece in libstdc++.a libgcc.a libgcc_eh.a libwinpthread.a dllcrt2.o; do
    file=$(readlink -f "$("$triple-g++-posix" -print-file-name="$piece")")
    package=$(dpkg -S "$file" 2>/dev/null | head -n 1 | cut -d: -f1)
    if [ -z "$package" ] || [ ! -f "/usr/share/doc/$package/copyright" ]; then
      echo "windows-archive: no package licence for $piece ($file)" >&2
      return 1
    fi
    # The C and C++ compiler packages share one copyright text.
    sum=$(sha256sum <"/usr/share/doc/$package/copyright" | cut -c1-64)
    case $seen in *" $sum "*) continue ;; esac
    seen="$seen$sum "
    cp "/usr/share/doc/$package/copyright" "$to/$package.txt"
  done
  # The GCC runtime is GPL-3 with the Runtime Library Exception; its
  # copyright file names the GPL's text without holding it.
  cp /usr/share/common-licenses/GPL-3 "$to/GPL-3.txt"
}

# The example hosts a user of the archive starts from: each with the file
# it needs beside it, none with the repository's build or test scripts.
copy_examples() {
  local to=$1
  mkdir -p "$to/c-host" "$to/python" "$to/csharp" "$to/delphi"
  cp examples/c-host/main.c examples/common/secret_text.h "$to/c-host/"
  cp examples/python/seatenrol.py "$to/python/"
  cp examples/csharp/SeatEnrol.cs "$to/csharp/"
  cp examples/delphi/seatenrol.pas examples/delphi/check.dpr "$to/delphi/"
}

pack() {
  local arch=$1 triple version name stage epoch
  triple=$(triple_of "$arch")
  [ -f "dist/$arch/bin/seatenrol.dll" ] || {
    echo "windows-archive: dist/$arch is not built (make windows)" >&2
    return 1
  }
  version=$(sed -n 's/^#define SEATENROL_VERSION_STRING "\(.*\)"$/\1/p' "dist/$arch/include/seatenrol/version.h")
  [ -n "$version" ] || { echo "windows-archive: dist/$arch has no seatenrol/version.h" >&2; return 1; }
  name=seatenrol-$version-$arch
  stage=build/archive/$name
  rm -rf "$stage" "dist/$name.zip" "dist/$name.zip.sha256"
  mkdir -p "$stage"
  cp -R "dist/$arch/." "$stage/"
  # The README written for Windows users, not the repository's.
  cp docs/windows-package.md "$stage/README.md"
  copy_examples "$stage/examples"
  copy_licences "$triple" "$stage/licences"
  # Same entries, order and times for the same inputs: the times are
  # SOURCE_DATE_EPOCH's, else the last commit's.
  epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
  find "$stage" -exec touch -h -d "@$epoch" {} +
  (cd build/archive && find "$name" -type f | LC_ALL=C sort | zip -q -X -D "$root/dist/$name.zip" -@)
  # What a user of the archive needs first, whatever dist/ARCH was made by.
  local entries entry missing=0
  entries=$(unzip -Z1 "dist/$name.zip")
  for entry in bin/seatenrol.dll bin/seatenrol.pdb bin/seat-enrol.exe lib/libseatenrol.dll.a \
    include/seatenrol/seatenrol.h \
    include/seatenrol/version.h README.md licences/GPL-3.txt examples/c-host/main.c \
    examples/python/seatenrol.py examples/csharp/SeatEnrol.cs examples/delphi/seatenrol.pas; do
    if ! printf '%s\n' "$entries" | grep -qxF "$name/$entry"; then
      echo "windows-archive: dist/$name.zip lacks $entry" >&2
      missing=1
    fi
  done
  # Every archive path the README names (in backquotes) is in the archive.
  for entry in $(grep -o '`\(bin\|lib\|include\|licences\|examples\)/[^`]*`' docs/windows-package.md | tr -d '`' | sort -u); do
    if ! printf '%s\n' "$entries" | grep -q "^$name/$entry"; then
      echo "windows-archive: README.md names $entry, which dist/$name.zip lacks" >&2
      missing=1
    fi
  done
  if [ $missing != 0 ]; then
    rm -f "dist/$name.zip"
    return 1
  fi
  (cd dist && sha256sum "$name.zip" >"$name.zip.sha256")
  echo "windows: dist/$name.zip ($(unzip -l "dist/$name.zip" | tail -n 1 | awk '{print $2}') files), SHA-256 in dist/$name.zip.sha256"
}

for arch in "$@"; do
  pack "$arch"
done
