#!/usr/bin/env bash
# Formats the C++ sources in place by the repository's .clang-format.
#   scripts/format.sh            every tracked .cpp and .h
#   scripts/format.sh FILE...    just these files
#   scripts/format.sh --check    changes nothing; lists the files that are not formatted
# Uses clang-format 14 (Debian 12's clang-format-14 package), or $CLANG_FORMAT.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

tool=${CLANG_FORMAT:-}
if [ -z "$tool" ]; then
  for candidate in clang-format-14 clang-format; do
    command -v "$candidate" >/dev/null && { tool=$candidate; break; }
  done
fi
if [ -z "$tool" ]; then
  echo "format: clang-format not found; install Debian's clang-format-14 or set CLANG_FORMAT" >&2
  exit 2
fi

check=0
if [ "${1:-}" = "--check" ]; then
  check=1
  shift
fi
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi

if [ $check = 1 ]; then
  unformatted=0
  for f in "${files[@]}"; do
    if ! "$tool" --style=file "$f" | cmp -s - "$f"; then
      echo "$f"
      unformatted=1
    fi
  done
  exit $unformatted
fi
"$tool" --style=file -i "${files[@]}"
