#!/usr/bin/env bash
# native.sh build|test: configures and builds the native tree in build/native,
# and with "test" runs every test through CTest (at most 256 open descriptors
# per process), then installs the tree into a temporary prefix and builds and
# runs the outside consumer projects of tests/consumers/ against it.
set -eu
cd "$(dirname "$0")/.."
scripts/ensure-packages.sh cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev pkg-config >&2
# The Python, C# and Delphi tests of the C interface skip themselves without these.
scripts/ensure-packages.sh python3 mono-mcs mono-runtime fp-compiler >&2 ||
  echo "the Python, C# or Delphi tests will be skipped: their packages are missing" >&2
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$jobs"
if [ "${1:-build}" = test ]; then
  # Under a low descriptor limit, so a test that leaks descriptors runs out
  # and fails instead of passing on a roomy default.
  (ulimit -Sn 256 && ctest --test-dir build/native --output-on-failure -j "$jobs" --timeout 120)
  timeout 600 tests/consumers/run.sh build/native
fi
