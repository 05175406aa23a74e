#!/usr/bin/env bash
# windows.sh dist|test|test-if-possible
#
#   dist              builds seatenrol.dll and its PDB for 32-bit (build/win32)
#                     and 64-bit Windows (build/win64-dll) with clang and lld
#                     (cmake/toolchain-*-w64-mingw32-clang.cmake), checks both
#                     name sets of each export table, that the Visual C++
#                     names still match the public headers, and the DLL's
#                     version resource, header and PDB (check-pe.sh), that
#                     each import of the DLL and of seat-enrol.exe exists on
#                     the oldest Windows we support (check-imports.sh), and
#                     copies per architecture the DLL and PDB, seat-enrol.exe,
#                     its MinGW
#                     (libseatenrol.dll.a) and Visual C++ (seatenrol.lib)
#                     import libraries and the public headers to dist/win32/
#                     and dist/win64/, then packs each into
#                     dist/seatenrol-VERSION-ARCH.zip (windows-archive.sh).
#   test              dist, then dist again from a copy of the tree in another
#                     folder, which must give the same bytes; then per leg the
#                     whole test suite (built by MinGW GCC), the example host
#                     on the shipped DLL against enrol-server, and the Visual
#                     C++-ABI host: the 64-bit leg under wine64 (build/win64),
#                     the 32-bit leg under 32-bit wine emulated by qemu-i386
#                     (build/win32-suite). The 32-bit leg is set up by
#                     scripts/wine32-setup.sh when run as root and skipped,
#                     saying what is missing, where it cannot be.
#   test-if-possible  test when the cross compilers, wine64 and the other
#                     packages are present (installing them when root);
#                     otherwise says what is missing and succeeds.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
# cmake --build runs its own make; keep the calling make's directory chatter out.
unset MAKEFLAGS MFLAGS MAKELEVEL
# What dist needs (clang-14 and jq read the Visual C++ names from the headers,
# llvm-14 makes seatenrol.lib), then what the tests need besides.
dist_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix clang-14 lld-14 llvm-14 jq zip unzip)
packages=("${dist_packages[@]}" wine64 googletest)
jobs=2
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

toolchain() {
  case $1 in
    win32) echo "$root/cmake/toolchain-i686-w64-mingw32.cmake" ;;
    win64) echo "$root/cmake/toolchain-x86_64-w64-mingw32.cmake" ;;
  esac
}

# The shipped DLL's: clang compiles (CodeView, for the PDB) and lld links
# against the same MinGW-w64 GCC runtime.
dll_toolchain() {
  case $1 in
    win32) echo cmake/toolchain-i686-w64-mingw32-clang.cmake ;;
    win64) echo cmake/toolchain-x86_64-w64-mingw32-clang.cmake ;;
  esac
}

# The folder of the shipped DLL's build, per architecture.
dll_build() {
  case $1 in
    win32) echo build/win32 ;;
    win64) echo build/win64-dll ;;
  esac
}

# $1 = win32|win64
build_dll() {
  local dir version
  dir=$(dll_build "$1")
  # A folder configured with another toolchain (GCC's, before) starts afresh.
  if [ -f "$dir/CMakeCache.txt" ] &&
    ! grep -qx "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$root/$(dll_toolchain "$1")" "$dir/CMakeCache.txt"; then
    rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  fi
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/$(dll_toolchain "$1")" \
    -DCMAKE_BUILD_TYPE=Release -DSEATENROL_TESTS=OFF -DSEATENROL_TOOLS=ON >/dev/null
  cmake --build "$dir" -j "$jobs" --target seatenrol seat-enrol
  scripts/check-exports.sh "$dir/seatenrol.dll" cmake/exports-win32.txt
  version=$(sed -n 's/^#define SEATENROL_VERSION_STRING "\(.*\)"$/\1/p' "$dir/generated/include/seatenrol/version.h")
  scripts/check-pe.sh "$dir/seatenrol.dll" "$version"
  scripts/check-pe.sh "$dir/tools/seat-enrol.exe" "$version"
  # Every import exists on the oldest Windows we support.
  scripts/check-imports.sh "$dir/seatenrol.dll" "$dir/tools/seat-enrol.exe"
}

dist() {
  scripts/ensure-packages.sh "${dist_packages[@]}" || exit 1
  # A header change that alters a Visual C++ name fails here until the
  # committed lists are regenerated.
  scripts/msvc-names.sh --check
  local arch dir
  for arch in win32 win64; do
    build_dll $arch
    dir=$(dll_build $arch)
    rm -rf dist/$arch
    mkdir -p dist/$arch/bin dist/$arch/lib dist/$arch/include/seatenrol
    cp "$dir/seatenrol.dll" "$dir/seatenrol.pdb" "$dir/tools/seat-enrol.exe" dist/$arch/bin/
    cp "$dir/libseatenrol.dll.a" "$dir/seatenrol.lib" dist/$arch/lib/
    cp include/seatenrol/*.h "$dir/generated/include/seatenrol/version.h" dist/$arch/include/seatenrol/
    echo "windows: dist/$arch holds seatenrol.dll and .pdb, seat-enrol.exe, seatenrol.lib, libseatenrol.dll.a and the headers"
  done
  scripts/windows-archive.sh win32 win64
}

# dist again in a copy of the tree under build/ (same SOURCE_DATE_EPOCH):
# every file it makes (DLLs, PDBs, import libraries, archives) must be the
# one in dist/, byte for byte.
check_reproducible() {
  local copy=build/reproducible/seatenrol differences count
  rm -rf build/reproducible
  mkdir -p "$copy"
  tar -C . --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$copy" -xf -
  if ! (cd "$copy" && scripts/windows.sh dist) >build/reproducible/dist.log 2>&1; then
    echo "windows: dist in $copy failed (build/reproducible/dist.log):" >&2
    tail -n 20 build/reproducible/dist.log >&2
    return 1
  fi
  differences=$(cd "$copy/dist" && find . -type f | LC_ALL=C sort | while IFS= read -r f; do
    cmp -s "$f" "$root/dist/$f" || echo "  ${f#./}"
  done)
  count=$(find "$copy/dist" -type f | wc -l)
  if [ -n "$differences" ]; then
    echo "windows: dist built again in $copy differs from dist/ in:" >&2
    printf '%s\n' "$differences" >&2
    return 1
  fi
  echo "windows: dist built again in $copy is the same, byte for byte ($count files)"
}

# Per leg: the build folder, the wine loader, the prefix's architecture.
suite_build() {
  case $1 in
    win32) echo build/win32-suite ;;
    win64) echo build/win64 ;;
  esac
}
wine_loader() {
  case $1 in
    win32) echo /usr/lib/wine/wine ;;
    win64)
      local wine=/usr/lib/wine/wine64
      [ -x "$wine" ] || wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
      echo "$wine"
      ;;
  esac
}
leg_name() {
  case $1 in
    win32) echo "32-bit wine" ;;
    win64) echo "wine64" ;;
  esac
}

# GoogleTest from Debian's sources, built once per leg with its toolchain.
build_googletest() {
  local prefix=$1/googletest/install
  if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B "$1/googletest/build" -DCMAKE_TOOLCHAIN_FILE="$2" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$root/$prefix" >/dev/null
    cmake --build "$1/googletest/build" -j "$jobs"
    cmake --install "$1/googletest/build" >/dev/null
  fi
  gtest_dir=$root/$prefix/lib/cmake/GTest
}

# $1 = leg
build_suite() {
  local dir
  dir=$(suite_build "$1")
  build_googletest "$dir" "$(toolchain "$1")"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$(toolchain "$1")" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGTest_DIR="$gtest_dir" >/dev/null
  cmake --build "$dir" -j "$jobs"
  # The suite's own DLL exports the same names as the shipped one.
  scripts/check-exports.sh "$dir/seatenrol.dll" cmake/exports-win32.txt
}

# A private wine prefix inside the leg's build folder, quiet and without the
# .NET and HTML engines a console program never needs, served by one
# persistent wineserver for the whole leg: each program then starts in about
# half a second, not ten (under emulation).
start_wine() {
  local dir
  dir=$(suite_build "$1")
  export WINEPREFIX=$root/$dir/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export SEATENROL_WINE SEATENROL_LEG SEATENROL_DLL
  SEATENROL_WINE=$(wine_loader "$1")
  # The DLL whose version resource tests/version reads: the shipped one.
  SEATENROL_DLL=$root/dist/$1/bin/seatenrol.dll
  SEATENROL_LEG=$(leg_name "$1")
  if [ "$1" = win32 ]; then
    export WINEARCH=win32
  else
    unset WINEARCH
  fi
  mkdir -p "$WINEPREFIX"
  # One already serving this prefix (left by an interrupted run) serves as well.
  "$wineserver" -p 2>/dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 600 "$SEATENROL_WINE" wineboot --init >/dev/null 2>&1 || true
  fi
}

stop_wine() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
}

# $1 = leg
run_suite() {
  local dir failed=() count=0 log wine name
  dir=$(suite_build "$1")
  wine=$(wine_loader "$1")
  name=$(leg_name "$1")
  mkdir -p "$dir/test-logs"
  while IFS= read -r exe; do
    count=$((count + 1))
    log=$dir/test-logs/$(basename "$exe" .exe).log
    if (cd "$(dirname "$exe")" && timeout 600 "$wine" "./$(basename "$exe")" --gtest_color=no) \
      >"$log" 2>&1; then
      echo "windows: $(basename "$exe"): $(grep -E '^\[  PASSED  \]' "$log" | tail -1)"
    else
      failed+=("$(basename "$exe")")
      echo "windows: $(basename "$exe") FAILED under $name (full output in $log):"
      tail -n 40 "$log"
    fi
  done < <(find "$dir" -path "$dir/googletest" -prune -o -name 'test_*.exe' -print | sort)
  if [ $count -eq 0 ]; then
    echo "windows: no test programs were built in $dir" >&2
    return 1
  fi
  if [ ${#failed[@]} -ne 0 ]; then
    echo "windows: ${#failed[@]} of $count test programs failed under $name: ${failed[*]}" >&2
    return 1
  fi
  echo "windows: all $count test programs passed under $name"
}

# The example host (built with MinGW in the leg's suite) enrols through the
# shipped DLL against the Linux enrol-server; then the Visual C++-ABI host
# does the same through seatenrol.lib, the C host through
# libseatenrol.dll.a, and the shipped seat-enrol.exe runs each of its commands.
run_hosts() {
  local dir status=0
  dir=$(suite_build "$1")
  if [ -f "$dir/examples/terminal-host/terminal-host.exe" ] && [ -f tools/CMakeLists.txt ]; then
    examples/terminal-host/run-under-wine.sh "$dir/examples/terminal-host/terminal-host.exe" \
      "dist/$1/bin/seatenrol.dll" || status=1
  else
    echo "windows: example host or enrol-server not built; enrolment under $(leg_name "$1") not run"
  fi
  examples/msvc-host/run.sh "$1" || status=1
  examples/c-host/run.sh "$1" || status=1
  tests/tools/seat_enrol_wine.sh "$1" || status=1
  return $status
}

# $1 = leg
run_leg() {
  local status=0 start=$SECONDS
  build_suite "$1"
  trap stop_wine EXIT
  start_wine "$1"
  run_suite "$1" || status=1
  run_hosts "$1" || status=1
  stop_wine
  trap - EXIT
  echo "windows: the $(leg_name "$1") leg took $((SECONDS - start)) s"
  return $status
}

test_all() {
  # One archive time for both builds of dist, even outside a git checkout.
  export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
  dist
  local status=0
  check_reproducible || status=1
  # The name check itself: it must catch every kind of name change.
  tests/msvc_abi/msvc_names_test.sh || status=1
  run_leg win64 || status=1
  if scripts/wine32-setup.sh; then
    run_leg win32 || status=1
  else
    echo "windows: 32-bit leg skipped (see above for what is missing)"
  fi
  return $status
}

case "${1:-}" in
  dist) dist ;;
  test) test_all ;;
  test-if-possible)
    if ! scripts/ensure-packages.sh "${packages[@]}"; then
      echo "windows leg skipped: it needs ${packages[*]} (see above for what is missing)"
      exit 0
    fi
    test_all
    ;;
  *)
    echo "usage: $0 dist|test|test-if-possible" >&2
    exit 2
    ;;
esac
