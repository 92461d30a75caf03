#!/usr/bin/env bash
# Checks that every C++ source of the project is laid out as .clang-format
# says; with --fix, rewrites the files that are not.
#   scripts/format.sh          list the files that differ, exit 1 if any
#   scripts/format.sh --fix    reformat them in place
set -euo pipefail
cd "$(dirname "$0")/.."
fix=0
case "${1:-}" in
  --fix) fix=1 ;;
  "") ;;
  *) echo "usage: scripts/format.sh [--fix]" >&2; exit 2 ;;
esac
tool=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z "$tool" ]]; then
  echo "format: clang-format not found (scripts/ensure-packages.sh installs it)" >&2
  exit 2
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.hpp')
else
  mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.hpp' \) -print | sed 's#^\./##' | sort)
fi
if ((fix)); then
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$tool" -i --style=file
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  if ! "$tool" --style=file --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if ((${#bad[@]})); then
  printf 'format: not laid out as .clang-format says: %s\n' "${bad[@]}" >&2
  echo "format: ${#bad[@]} file(s); scripts/format.sh --fix rewrites them" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format says"
