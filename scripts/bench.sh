#!/usr/bin/env bash
# bench.sh [BENCHMARK ARGS...]: builds the benchmarks in Release in
# build/bench and runs them; each is printed next to its floor with the
# ratio at the end. Then the system calls of one identity discovery and of
# the reference server per answered request, counted by strace, enrolments
# through a lossy relay (enrol-loss), and a short enrol-storm run against a
# local enrol-server. Timing and counts are
# reported, never judged: this never fails on speed.
set -eu
cd "$(dirname "$0")/.."
scripts/ensure-packages.sh cmake make g++ libbenchmark-dev >&2
# The counts need strace; without it (and not root) their rows say so.
scripts/ensure-packages.sh strace >&2 || true
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSEATENROL_BENCH=ON -DSEATENROL_TESTS=OFF >/dev/null
cmake --build build/bench -j 2 --target seatenrol_bench enrol-loss enrol-storm enrol-server seat-enrol
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
build/bench/bench/seatenrol_bench "$@"

echo
bench/count_identity_syscalls.sh build/bench 80 || echo "bench/count_identity_syscalls.sh failed"
# The server's count, in the same row form: its own line says the figure,
# the calls behind it and the verdict.
row() { printf '%-24s %12s  %-20s %12s %8s %6s  %s\n' "$@"; }
if storm_count=$(bench/run_storm.sh --count-syscalls build/bench 20000 64 2>/dev/null); then
  per_request=$(printf '%s\n' "$storm_count" | sed -n 's/^system calls per answered storm request: \([0-9.]*\) .*/\1/p')
  row "syscalls: per request" "${per_request:--}" "-" "-" "-" "1.5" "${storm_count#*: }"
else
  row "syscalls: per request" "-" "-" "-" "-" "1.5" "skipped: the storm could not be counted"
fi
echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
build/bench/bench/enrol-loss

echo
bench/run_storm.sh build/bench "${STORM_REQUESTS:-200000}" "${STORM_SOCKETS:-64}"
