#!/usr/bin/env bash
# windows.sh dist|test|test-if-possible
#
#   dist              builds the 32-bit seatenrol.dll (build/win32), checks its
#                     export table against cmake/exports-win32.txt and copies
#                     the DLL, its import library and the public headers to
#                     dist/win32/, then packs dist/win32 and dist/win64 into
#                     dist/seatenrol-VERSION-ARCH.zip (windows-archive.sh).
#   test              dist, then builds the whole test suite for 64-bit
#                     Windows (build/win64) and runs every test program under
#                     wine64, then the example host against enrol-server.
#   test-if-possible  test when the cross compilers, wine64 and the GoogleTest
#                     sources are present (installing them when root);
#                     otherwise says what is missing and succeeds.
#
# The suite runs as a 64-bit build because wine64 needs a kernel that can run
# 32-bit programs to run 32-bit ones; the 32-bit DLL is built and its exports
# checked, not run.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
# cmake --build runs its own make; keep the calling make's directory chatter out.
unset MAKEFLAGS MFLAGS MAKELEVEL
packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 googletest)
jobs=2
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

build_dll() {
  cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSEATENROL_TESTS=OFF -DSEATENROL_TOOLS=OFF >/dev/null
  cmake --build build/win32 -j "$jobs" --target seatenrol
  scripts/check-exports.sh build/win32/seatenrol.dll cmake/exports-win32.txt
}

dist() {
  build_dll
  rm -rf dist/win32 dist/win64
  mkdir -p dist/win32/bin dist/win32/lib dist/win32/include/seatenrol
  cp build/win32/seatenrol.dll dist/win32/bin/
  cp build/win32/libseatenrol.dll.a dist/win32/lib/
  cp include/seatenrol/*.h build/win32/generated/include/seatenrol/version.h dist/win32/include/seatenrol/
  echo "windows: dist/win32 holds seatenrol.dll, libseatenrol.dll.a and the headers"
  scripts/windows-archive.sh win32 win64
}

# GoogleTest from Debian's sources, built once with the same toolchain.
build_googletest() {
  local prefix=build/win64/googletest/install
  if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
    cmake -S /usr/src/googletest -B build/win64/googletest/build \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$root/$prefix" >/dev/null
    cmake --build build/win64/googletest/build -j "$jobs"
    cmake --install build/win64/googletest/build >/dev/null
  fi
  gtest_dir=$root/$prefix/lib/cmake/GTest
}

build_suite() {
  build_googletest
  cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGTest_DIR="$gtest_dir" >/dev/null
  cmake --build build/win64 -j "$jobs"
  # The 64-bit DLL the suite's example host loads exports the same names.
  scripts/check-exports.sh build/win64/seatenrol.dll cmake/exports-win32.txt
}

# A private wine prefix inside the build folder, quiet and without the
# .NET and HTML engines a console program never needs.
start_wine() {
  export WINEPREFIX=$root/build/win64/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot --init >/dev/null 2>&1 || true
  fi
}

stop_wine() {
  local server=/usr/lib/wine/wineserver64
  [ -x "$server" ] || server=$(command -v wineserver || true)
  [ -n "$server" ] && "$server" -w 2>/dev/null || true
}

run_suite() {
  start_wine
  local failed=() count=0 log
  mkdir -p build/win64/test-logs
  while IFS= read -r exe; do
    count=$((count + 1))
    log=build/win64/test-logs/$(basename "$exe" .exe).log
    if (cd "$(dirname "$exe")" && timeout 600 "$wine" "./$(basename "$exe")" --gtest_color=no) \
      >"$log" 2>&1; then
      echo "windows: $(basename "$exe"): $(grep -E '^\[  PASSED  \]' "$log" | tail -1)"
    else
      failed+=("$(basename "$exe")")
      echo "windows: $(basename "$exe") FAILED (full output in $log):"
      tail -n 40 "$log"
    fi
  done < <(find build/win64 -path build/win64/googletest -prune -o -name 'test_*.exe' -print | sort)
  if [ $count -eq 0 ]; then
    echo "windows: no test programs were built" >&2
    return 1
  fi
  if [ ${#failed[@]} -ne 0 ]; then
    echo "windows: ${#failed[@]} of $count test programs failed: ${failed[*]}" >&2
    return 1
  fi
  echo "windows: all $count test programs passed under wine64"
}

# The example host enrols through the DLL against the Linux enrol-server.
run_example() {
  if [ -f build/win64/examples/terminal-host/terminal-host.exe ] && [ -f tools/CMakeLists.txt ]; then
    examples/terminal-host/run-under-wine.sh
  else
    echo "windows: example host or enrol-server not built; enrolment under wine not run"
  fi
}

test_all() {
  dist
  build_suite
  local status=0
  run_suite || status=1
  run_example || status=1
  stop_wine
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
