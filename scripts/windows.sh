#!/usr/bin/env bash
# windows.sh dist|test|test-if-possible
#
#   dist              builds seatenrol.dll and its PDB for 32-bit (build/win32)
#                     and 64-bit Windows (build/win64) with clang and lld
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
#   test              dist, built in the folders the suites use, then dist
#                     again from a copy of the tree in another folder, which
#                     must give the same bytes; then per leg, in that same
#                     folder and by that same toolchain, the whole test suite
#                     beside the shipped DLL (check-pe.sh --toolchain: one
#                     linker and one TLS model), the example hosts, the
#                     allocation-refusing host and seat-enrol.exe on the
#                     shipped DLL against enrol-server, and the Visual C++-ABI
#                     host: the 64-bit leg under wine64, the 32-bit leg under
#                     32-bit wine emulated by qemu-i386. The 32-bit leg is set
#                     up by scripts/wine32-setup.sh when run as root.
#   test-if-possible  test when the cross compilers, wine64 and the other
#                     packages are present (installing them when root).
#
# A leg that cannot start (a package, the 32-bit loader or binfmt_misc
# missing) is skipped, named with its reason in the last lines, and the run
# still succeeds; with CI set (as .ci/run sets it) or
# SEATENROL_REQUIRE_WINDOWS=1 it fails the run instead.
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

# One toolchain per architecture for the shipped files and every Windows
# test program: clang compiles (CodeView, for the PDB) and lld links against
# the same MinGW-w64 GCC runtime.
toolchain() {
  case $1 in
    win32) echo cmake/toolchain-i686-w64-mingw32-clang.cmake ;;
    win64) echo cmake/toolchain-x86_64-w64-mingw32-clang.cmake ;;
  esac
}

# The one build folder per architecture: dist and the leg's suite.
build_folder() {
  echo "build/$1"
}

# A leg that cannot start fails the run in CI, and is skipped elsewhere.
required() {
  [ -n "${CI:-}" ] || [ "${SEATENROL_REQUIRE_WINDOWS:-}" = 1 ]
}
skipped=()
# $1 = leg name, $2 = what is missing
cannot_start() {
  if required; then
    echo "windows: FAILED: the $1 leg cannot start: $2" >&2
    return 1
  fi
  skipped+=("the $1 leg was skipped: $2")
}
report_skipped() {
  local line
  for line in "${skipped[@]}"; do
    echo "windows: SKIPPED: $line (CI=true or SEATENROL_REQUIRE_WINDOWS=1 makes this a failure)"
  done
}

# $1 = win32|win64, then cmake options: the suite's (the tests on, GoogleTest's
# folder) or none (the DLL and seat-enrol.exe alone).
build_dll() {
  local arch=$1 dir version
  shift
  dir=$(build_folder "$arch")
  # A folder configured with another toolchain (GCC's, before) starts afresh;
  # one configured before its toolchain files last changed keeps its objects
  # but takes the files' flags anew.
  if [ -f "$dir/CMakeCache.txt" ]; then
    if ! grep -qx "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$root/$(toolchain "$arch")" "$dir/CMakeCache.txt"; then
      rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
    elif [ -n "$(find cmake -name '*mingw*' -newer "$dir/CMakeCache.txt")" ]; then
      rm -f "$dir/CMakeCache.txt"
    fi
  fi
  [ $# -gt 0 ] || set -- -DSEATENROL_TESTS=OFF
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/$(toolchain "$arch")" \
    -DCMAKE_BUILD_TYPE=Release -DSEATENROL_TOOLS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" --target seatenrol seat-enrol
  scripts/check-exports.sh "$dir/seatenrol.dll" cmake/exports-win32.txt
  version=$(sed -n 's/^#define SEATENROL_VERSION_STRING "\(.*\)"$/\1/p' "$dir/generated/include/seatenrol/version.h")
  scripts/check-pe.sh "$dir/seatenrol.dll" "$version"
  scripts/check-pe.sh "$dir/tools/seat-enrol.exe" "$version"
  # Every import exists on the oldest Windows we support.
  scripts/check-imports.sh "$dir/seatenrol.dll" "$dir/tools/seat-enrol.exe"
}

# dist [win32|win64 CMAKE_OPTION...]...: the options given per architecture
# configure its folder (the suite's, under test).
dist() {
  scripts/ensure-packages.sh "${dist_packages[@]}" || exit 1
  # A header change that alters a Visual C++ name fails here until the
  # committed lists are regenerated.
  scripts/msvc-names.sh --check
  local arch dir
  for arch in win32 win64; do
    if [ "$arch" = win32 ]; then
      build_dll $arch ${win32_options[@]+"${win32_options[@]}"}
    else
      build_dll $arch ${win64_options[@]+"${win64_options[@]}"}
    fi
    dir=$(build_folder $arch)
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

# Per leg: the wine loader and the leg's name.
wine_loader() {
  case $1 in
    win32) echo "${SEATENROL_WINE32_LOADER:-/usr/lib/wine/wine}" ;;
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

# $1 = leg: the rest of the leg's folder (the test programs and hosts) after
# dist built the DLL there. Its DLL must still be the one dist/ ships.
build_suite() {
  local dir
  dir=$(build_folder "$1")
  cmake --build "$dir" -j "$jobs"
  if ! cmp -s "$dir/seatenrol.dll" "dist/$1/bin/seatenrol.dll"; then
    echo "windows: $dir/seatenrol.dll is no longer dist/$1/bin/seatenrol.dll after building the suite" >&2
    return 1
  fi
  local programs=()
  mapfile -t programs < <(test_programs "$dir")
  scripts/check-pe.sh --toolchain "dist/$1/bin/seatenrol.dll" "${programs[@]}" \
    "$dir/examples/terminal-host/terminal-host.exe" "$dir/examples/c-host/c-host.exe" \
    "$dir/tests/joints/allocation-host.exe"
}

# The leg's GoogleTest programs.
test_programs() {
  find "$1" -path "$1/googletest" -prune -o -name 'test_*.exe' -print | sort
}

# A private wine prefix inside the leg's build folder, quiet and without the
# .NET and HTML engines a console program never needs, served by one
# persistent wineserver for the whole leg: each program then starts in about
# half a second, not ten (under emulation).
start_wine() {
  local dir
  dir=$(build_folder "$1")
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

# $1 = leg: every test program under wine, the shipped DLL beside it (where
# Windows looks first) for those that load it.
run_suite() {
  local dir failed=() count=0 log wine name
  dir=$(build_folder "$1")
  wine=$(wine_loader "$1")
  name=$(leg_name "$1")
  mkdir -p "$dir/test-logs"
  while IFS= read -r exe; do
    count=$((count + 1))
    log=$dir/test-logs/$(basename "$exe" .exe).log
    cp "dist/$1/bin/seatenrol.dll" "$(dirname "$exe")/"
    if (cd "$(dirname "$exe")" && timeout 600 "$wine" "./$(basename "$exe")" --gtest_color=no) \
      >"$log" 2>&1; then
      echo "windows: $(basename "$exe"): $(grep -E '^\[  PASSED  \]' "$log" | tail -1)"
    else
      failed+=("$(basename "$exe")")
      echo "windows: $(basename "$exe") FAILED under $name (full output in $log):"
      tail -n 40 "$log"
    fi
  done < <(test_programs "$dir")
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

# The example hosts (built in the leg's folder) enrol through the shipped
# DLL against the Linux enrol-server: the C++ host, the Visual C++-ABI host
# through seatenrol.lib, the C host through libseatenrol.dll.a, the host that
# refuses the DLL's allocations; then the shipped seat-enrol.exe runs each of
# its commands.
run_hosts() {
  local dir status=0
  dir=$(build_folder "$1")
  examples/terminal-host/run-under-wine.sh "$dir/examples/terminal-host/terminal-host.exe" \
    "dist/$1/bin/seatenrol.dll" || status=1
  examples/msvc-host/run.sh "$1" || status=1
  examples/c-host/run.sh "$1" "$dir/examples/c-host/c-host.exe" || status=1
  tests/joints/allocation_host_wine.sh "$1" "$dir/tests/joints/allocation-host.exe" || status=1
  tests/tools/seat_enrol_wine.sh "$1" || status=1
  return $status
}

# $1 = leg
run_leg() {
  local status=0 start=$SECONDS
  build_suite "$1" || status=1
  trap stop_wine EXIT
  start_wine "$1"
  run_suite "$1" || status=1
  run_hosts "$1" || status=1
  stop_wine
  trap - EXIT
  echo "windows: the $(leg_name "$1") leg took $((SECONDS - start)) s"
  return $status
}

# Whether wine64 starts; says what is missing when not.
wine64_starts() {
  local wine version
  wine=$(wine_loader win64)
  if [ ! -x "$wine" ]; then
    wine64_missing="the wine64 loader $wine"
    return 1
  fi
  if ! version=$(timeout 120 "$wine" --version 2>&1); then
    wine64_missing="$wine does not start: $version"
    return 1
  fi
}

# GoogleTest for each leg, then dist in the legs' folders with the suites
# configured there.
configure_suites() {
  build_googletest "$(build_folder win32)" "$root/$(toolchain win32)"
  win32_options=(-DSEATENROL_TESTS=ON -DGTest_DIR="$gtest_dir")
  build_googletest "$(build_folder win64)" "$root/$(toolchain win64)"
  win64_options=(-DSEATENROL_TESTS=ON -DGTest_DIR="$gtest_dir")
}

test_all() {
  # One archive time for both builds of dist, even outside a git checkout.
  export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
  scripts/ensure-packages.sh "${dist_packages[@]}" || exit 1
  configure_suites
  dist
  local status=0
  check_reproducible || status=1
  # The name check itself: it must catch every kind of name change.
  tests/msvc_abi/msvc_names_test.sh || status=1
  if wine64_starts; then
    run_leg win64 || status=1
  else
    cannot_start wine64 "$wine64_missing" || status=1
  fi
  local setup
  if setup=$(scripts/wine32-setup.sh 2>&1); then
    printf '%s\n' "$setup"
    run_leg win32 || status=1
  else
    printf '%s\n' "$setup"
    local reason
    reason=$(printf '%s\n' "$setup" | grep -m1 -e 'cannot run here' -e 'does not start' -e 'kept failing' \
      -e 'could not' || printf '%s\n' "$setup" | tail -n 1)
    cannot_start "32-bit wine" "${reason#wine32-setup: }" || status=1
  fi
  report_skipped
  return $status
}

case "${1:-}" in
  dist) dist ;;
  test) test_all ;;
  test-if-possible)
    if ! missing=$(scripts/ensure-packages.sh "${packages[@]}" 2>&1); then
      printf '%s\n' "$missing"
      cannot_start "Windows (both)" "it needs ${packages[*]}: $(printf '%s\n' "$missing" | tail -n 1)" || exit 1
      report_skipped
      exit 0
    fi
    printf '%s\n' "$missing" | grep . || true
    test_all
    ;;
  *)
    echo "usage: $0 dist|test|test-if-possible" >&2
    exit 2
    ;;
esac
