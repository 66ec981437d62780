#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer),
# replays the committed corpus (fuzz/corpus/<target>/, every input that ever found a
# fault included), then fuzzes each target for a bounded time, starting from that
# corpus and the generated seeds. Leak detection stays on; fuzz/lsan.supp suppresses
# only what gettext's PO library loses while it reads a file.
#   tools/fuzz.sh [SECONDS_PER_TARGET]   (default 30: eight targets, about five minutes
#                                        with the build on two cores)
#   tools/fuzz.sh --minimize             folds what the last run found into
#                                        fuzz/corpus/ (libFuzzer's -merge=1) for committing
# tools/fuzz-coverage.sh measures the lines the committed corpora reach.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
tools/setup.sh clang libclang-rt-14-dev

build=build-fuzz
targets=(narc_reader decode compose rom_reader po_import tree_text replace arguments)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DNARC_FUZZ=ON -DNARC_TESTS=OFF -DNARC_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}" fuzz_seeds

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$(pwd)/fuzz/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
work="$build/corpus"
# The longest input each target gets: a DSi image's header alone takes 4096 bytes.
max_len() { if [ "$1" = rom_reader ]; then echo 8192; else echo 4096; fi; }

if [ "$seconds" = "--minimize" ]; then
  for target in "${targets[@]}"; do
    mkdir -p "fuzz/corpus/$target"
    "$build/fuzz/fuzz_$target" -merge=1 -max_len="$(max_len "$target")" "fuzz/corpus/$target" "$work/$target" 2>&1 | tail -n 1
  done
  du -sh fuzz/corpus
  exit 0
fi

started=$SECONDS
rm -rf "$work"
"$build/fuzz/fuzz_seeds" "$work"
total=0
for target in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_$target"
  committed="fuzz/corpus/$target"
  log="$build/fuzz_$target.log"
  echo "== fuzz_$target: replaying the committed corpus"
  "$binary" -runs=0 -rss_limit_mb=2048 "$committed" >"$log" 2>&1 || {
      tail -n 60 "$log"; echo "fuzz_$target fails on its committed corpus"; exit 1; }
  tail -n 1 "$log"
  cp -n "$committed"/* "$work/$target"/ 2>/dev/null || true
  echo "== fuzz_$target: fuzzing for ${seconds}s"
  "$binary" -max_total_time="$seconds" -max_len="$(max_len "$target")" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/crash-$target-" "$work/$target" >"$log" 2>&1 || {
      tail -n 60 "$log"; echo "fuzz_$target found a fault; add the input to $committed"; exit 1; }
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  echo "fuzz_$target: $runs executions, no fault"
  total=$((total + runs))
done
echo "fuzzing: $total executions in all, no fault ($((SECONDS - started)) s)"
