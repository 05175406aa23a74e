#!/usr/bin/env bash
# valgrind.sh: runs the end-to-end tests (test_e2e, built without sanitizers
# in build/valgrind) under valgrind memcheck; any memory error or leak fails.
set -eu
cd "$(dirname "$0")/.."
if [ ! -f tests/e2e/CMakeLists.txt ]; then
  echo "valgrind: no end-to-end tests yet"
  exit 0
fi
scripts/ensure-packages.sh cmake make g++ valgrind libgtest-dev libgmock-dev >&2
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
cmake -S . -B build/valgrind -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/valgrind -j "$jobs" --target test_e2e
binary=$(find build/valgrind -type f -name test_e2e -perm -u+x | head -n 1)
# The native suite's descriptor limit (native.sh); valgrind keeps a few of
# the 256 for itself.
ulimit -Sn 256
valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes --quiet "$binary"
