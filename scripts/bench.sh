#!/usr/bin/env bash
# bench.sh [BENCHMARK ARGS...]: builds the benchmarks in Release in
# build/bench and runs them; each is printed next to its floor with the
# ratio at the end. Then a short enrol-storm run against a local
# enrol-server. Timing is reported, never judged: this never fails on speed.
set -eu
cd "$(dirname "$0")/.."
scripts/ensure-packages.sh cmake make g++ libbenchmark-dev >&2
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSEATENROL_BENCH=ON -DSEATENROL_TESTS=OFF >/dev/null
cmake --build build/bench -j 2 --target seatenrol_bench enrol-storm enrol-server
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
build/bench/bench/seatenrol_bench "$@"

echo
bench/run_storm.sh build/bench "${STORM_REQUESTS:-200000}" "${STORM_SOCKETS:-64}"
