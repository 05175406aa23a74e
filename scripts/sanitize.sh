#!/usr/bin/env bash
# sanitize.sh: builds the whole native tree with AddressSanitizer and
# UndefinedBehaviorSanitizer in build/sanitize (any fault stops the run, leaks
# included) and runs every test through CTest; then the end-to-end tests
# under valgrind (scripts/valgrind.sh).
set -eu
cd "$(dirname "$0")/.."
scripts/ensure-packages.sh cmake make libgtest-dev libgmock-dev >&2

# The C example host is compiled by the same compiler family, so that both
# link one sanitizer runtime.
if command -v clang++ >/dev/null && command -v clang >/dev/null; then
  cxx=clang++ cc=clang
else
  cxx=g++ cc=gcc
fi
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"

cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DSEATENROL_BENCH=OFF -DSEATENROL_FUZZ=OFF \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build/sanitize -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The native suite's descriptor limit (native.sh), so a leak fails here too.
(ulimit -Sn 256 && ctest --test-dir build/sanitize --output-on-failure -j "$jobs" --timeout 300)

if [ "${SEATENROL_SKIP_VALGRIND:-0}" != 1 ]; then
  scripts/valgrind.sh
fi
