#!/usr/bin/env bash
# Formats every C and C++ file that git tracks with clang-format-14 and the
# style in .clang-format. Usage: scripts/format.sh [--check]
#   --check  changes nothing; lists the files that are not formatted and
#            fails if there are any (CI runs this).
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case ${1-} in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac

format=clang-format-14
if ! command -v "$format" >/dev/null 2>&1; then
  echo "$format is missing: scripts/setup.sh --ci installs it" >&2
  exit 1
fi
[ -f .clang-format ] || { echo ".clang-format is missing" >&2; exit 1; }

mapfile -t files < <(git ls-files -- '*.c' '*.h' '*.cpp')
[ ${#files[@]} -gt 0 ] || { echo "no C or C++ files found" >&2; exit 1; }

if [ $check -eq 0 ]; then
  "$format" -i --style=file "${files[@]}"
  exit 0
fi
unformatted=()
for file in "${files[@]}"; do
  if ! "$format" --style=file --dry-run -Werror "$file" >/dev/null 2>&1; then
    unformatted+=("$file")
  fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "Not formatted (scripts/format.sh fixes them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "All ${#files[@]} C and C++ files are formatted."
