#!/usr/bin/env bash
# The lines of the core and of narctext's argument parser that the committed fuzz
# corpora reach: builds the fuzz targets with clang's source-based coverage
# (in build-fuzz-coverage/), replays fuzz/corpus/<target>/ through each once,
# and prints line coverage per target, of the files that target is aimed at (by
# that target's own corpus alone), then per folder (by all corpora together).
# In the folder table every object file of the folders' libraries counts, whether
# or not a target links it, so code no target reaches shows as missed rather than
# not at all.
#   tools/fuzz-coverage.sh            the tables
#   tools/fuzz-coverage.sh --files    the tables, each with its files
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh clang libclang-rt-14-dev llvm-14

build=build-fuzz-coverage
targets=(narc_reader decode compose rom_reader po_import tree_text replace arguments)
folders=(tree onefile search po io codec narc rom cli report check)
# The files each target is aimed at.
declare -A aimed=(
  [narc_reader]="narc/narcreader.cpp narc/narcstream.cpp narc/narcwriter.cpp"
  [decode]="codec/decode.cpp codec/messageheader.cpp codec/linetable.cpp codec/escape.cpp"
  [compose]="codec/compose.cpp codec/encode.cpp"
  [rom_reader]="rom/romheader.cpp rom/romfilesystem.cpp rom/romplacement.cpp rom/romwriter.cpp"
  [po_import]="po/poimport.cpp po/potranslations.cpp po/gettextpo.cpp po/pocontext.cpp"
  [tree_text]="tree/importtree.cpp tree/exporttree.cpp tree/layout.cpp io/textfile.cpp"
  [replace]="search/replace.cpp search/search.cpp"
  [arguments]="cli/commandline.cpp"
)
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DNARC_FUZZ=ON -DNARC_TESTS=OFF -DNARC_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}" >/dev/null

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$(pwd)/fuzz/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
profiles="$build/profiles"
rm -rf "$profiles"
mkdir -p "$profiles"
objects=()
for target in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_$target"
  LLVM_PROFILE_FILE="$profiles/$target.profraw" "$binary" -runs=0 -rss_limit_mb=2048 "fuzz/corpus/$target" \
    >"$profiles/$target.log" 2>&1 || { tail -n 40 "$profiles/$target.log"; echo "fuzz_$target fails on its corpus"; exit 1; }
  echo "fuzz_$target: $(find "fuzz/corpus/$target" -type f | wc -l) inputs replayed"
  objects+=(-object "$binary")
done
# Every object file of the folders' libraries, for the code no target links
# (llvm-cov reads object files, not archives).
while IFS= read -r object; do objects+=(-object "$object"); done < <(
  for folder in "${folders[@]}"; do find "$build/$folder" -name '*.o' -path '*/CMakeFiles/*' | sort; done)
llvm-profdata-14 merge -sparse "$profiles"/*.profraw -o "$profiles/corpus.profdata"

# Per target: its own corpus over the files it is aimed at (llvm-cov's TOTAL
# line: Filename, Functions, Missed Functions, Executed, Lines, Missed Lines, Cover).
echo
printf '%-12s %8s %8s %7s\n' target lines reached cover
for target in "${targets[@]}"; do
  llvm-profdata-14 merge -sparse "$profiles/$target.profraw" -o "$profiles/$target.profdata"
  files=()
  for file in ${aimed[$target]}; do files+=("$(pwd)/$file"); done
  llvm-cov-14 report -instr-profile="$profiles/$target.profdata" "$build/fuzz/fuzz_$target" "${files[@]}" \
    -show-region-summary=false -show-branch-summary=false -show-instantiation-summary=false 2>/dev/null |
    awk -v target="$target" -v root="$(pwd)/" -v folder="${aimed[$target]%%/*}/" -v files="${1:-}" '
      $1 ~ /\.cpp$/ { path = $1; if (index(path, root) == 1) path = substr(path, length(root) + 1)
                      if (index(path, "/") == 0) path = folder path  # llvm-cov left out the folder all share
                      detail[++d] = sprintf("  %-32s %6d %6d %6.1f%%", path, $5, $5 - $6, $5 ? 100 * ($5 - $6) / $5 : 0) }
      $1 == "TOTAL" { printf "%-12s %8d %8d %6.1f%%\n", target, $5, $5 - $6, $5 ? 100 * ($5 - $6) / $5 : 0 }
      END { if (files == "--files") for (i = 1; i <= d; ++i) print detail[i] }'
done

# llvm-cov's per-file table, paths relative to the sources: Filename, then
# (regions and branches left out) Functions, Missed Functions, Executed, Lines,
# Missed Lines, Cover. (Functions of the targets themselves share names, such as
# LLVMFuzzerTestOneInput, which llvm-cov warns about; fuzz/ is not counted.)
report=$(llvm-cov-14 report -instr-profile="$profiles/corpus.profdata" "${objects[@]:1}" \
  -show-region-summary=false -show-branch-summary=false -show-instantiation-summary=false \
  -ignore-filename-regex="^$(pwd | sed 's/[.[\\*^$()+?{|]/\\&/g')/(fuzz|tests|build[^/]*)/|^/usr/" 2>/dev/null)
echo
printf '%-10s %8s %8s %7s\n' folder lines reached cover
echo "$report" | awk -v root="$(pwd)/" -v folders="${folders[*]}" -v files="${1:-}" '
  BEGIN { n = split(folders, order, " ") }
  $1 ~ /\.(cpp|h)$/ {
    path = $1
    if (index(path, root) == 1) path = substr(path, length(root) + 1)
    folder = path; sub("/.*", "", folder)
    lines[folder] += $5; missed[folder] += $6
    detail[++d] = sprintf("  %-32s %6d %6d %6.1f%%", path, $5, $5 - $6, $5 ? 100 * ($5 - $6) / $5 : 0)
  }
  END {
    for (i = 1; i <= n; ++i) {
      f = order[i]; l = lines[f]; r = l - missed[f]
      printf "%-10s %8d %8d %6.1f%%\n", f "/", l, r, l ? 100 * r / l : 0
    }
    if (files == "--files")
      for (i = 1; i <= d; ++i) print detail[i]
  }'
