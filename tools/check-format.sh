#!/usr/bin/env bash
# Checks that every C++ file follows .clang-format (clang-format 14, Debian 12's).
#   tools/check-format.sh         lists the files that differ, exits 1 if any
#   tools/check-format.sh --fix   formats them in place
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh clang-format
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
differ=()
for file in "${files[@]}"; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || differ+=("$file")
done
if [ ${#differ[@]} -gt 0 ]; then
  printf 'Not formatted as .clang-format says (tools/check-format.sh --fix):\n'
  printf '  %s\n' "${differ[@]}"
  exit 1
fi
echo "Every C++ file follows .clang-format."
