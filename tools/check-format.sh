#!/usr/bin/env bash
# Checks (default) or rewrites (--fix) every C++ file that git tracks against
# the root .clang-format. Fails, naming the files, when one is not formatted.
# Usage: tools/check-format.sh [--fix]        Needs: clang-format (tools/install-deps.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

command -v clang-format >/dev/null 2>&1 || {
  echo "check-format: clang-format not found; install it with tools/install-deps.sh" >&2
  exit 1
}

mapfile -t files < <(git ls-files -- '*.cpp' '*.cc' '*.c' '*.h' '*.hpp')
[ ${#files[@]} -gt 0 ] || { echo "check-format: no C++ files found" >&2; exit 1; }

if [ "${1:-}" = "--fix" ]; then
  clang-format -i --style=file "${files[@]}"
  echo "check-format: formatted ${#files[@]} files"
  exit 0
fi

unformatted=()
for file in "${files[@]}"; do
  clang-format --style=file --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "check-format: ${#unformatted[@]} of ${#files[@]} files are not formatted (run: make format):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
