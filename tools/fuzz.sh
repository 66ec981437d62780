#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer),
# writes the seed corpus, replays it, then fuzzes each target for a bounded time.
#   tools/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
tools/setup.sh clang libclang-rt-14-dev

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DNARC_FUZZ=ON -DNARC_TESTS=OFF -DNARC_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_narc_reader fuzz_decode fuzz_compose fuzz_seeds

corpus="$build/corpus"
rm -rf "$corpus"
"$build/fuzz/fuzz_seeds" "$corpus"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
total=0
for target in narc_reader decode compose; do
  binary="$build/fuzz/fuzz_$target"
  echo "== fuzz_$target: replaying the seed corpus"
  "$binary" -runs=0 "$corpus/$target" 2>&1 | tail -n 1
  echo "== fuzz_$target: fuzzing for ${seconds}s"
  log="$build/fuzz_$target.log"
  "$binary" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/crash-$target-" "$corpus/$target" >"$log" 2>&1 || {
      tail -n 60 "$log"; echo "fuzz_$target found a fault"; exit 1; }
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  echo "fuzz_$target: $runs executions, no fault"
  total=$((total + runs))
done
echo "fuzzing: $total executions in all, no fault"
