#!/usr/bin/env bash
# fuzz.sh [TARGET...]: builds the libFuzzer targets with clang in build/fuzz
# (the library instrumented for coverage, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for FUZZ_SECONDS (default 60)
# with one job, starting from its committed corpus. New inputs go to
# build/fuzz/corpus/TARGET; a fault leaves its input as
# build/fuzz/findings/TARGET/crash-* and fails the run.
set -eu
cd "$(dirname "$0")/.."
scripts/ensure-packages.sh cmake make clang libclang-rt-dev >&2
seconds=${FUZZ_SECONDS:-60}
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"

cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DSEATENROL_FUZZ=ON -DSEATENROL_TESTS=OFF -DSEATENROL_TOOLS=OFF >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/*_fuzz.cpp; do
    targets+=("$(basename "$f" _fuzz.cpp)")
  done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for t in "${targets[@]}"; do
  if ! cmake --build build/fuzz -j 2 --target "fuzz_$t" >/dev/null 2>&1; then
    # A target whose modules are not written yet is not defined at all.
    if ! grep -q "fuzz_$t" build/fuzz/fuzz/Makefile 2>/dev/null; then
      echo "fuzz $t: not built yet (its modules are missing)"
      continue
    fi
    cmake --build build/fuzz -j 2 --target "fuzz_$t"
  fi
  work=build/fuzz/corpus/$t
  findings=build/fuzz/findings/$t
  mkdir -p "$work" "$findings"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  echo "fuzz $t: ${seconds}s"
  if ! build/fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$findings/" "${dict[@]}" "$work" "fuzz/corpus/$t" \
    >"build/fuzz/$t.log" 2>&1; then
    echo "fuzz $t: FAULT (see build/fuzz/$t.log and $findings/)" >&2
    tail -n 40 "build/fuzz/$t.log" >&2
    failed=1
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "build/fuzz/$t.log" | sed "s/^/  /"
  fi
done
exit $failed
