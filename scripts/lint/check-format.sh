#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what the repository's .clang-format gives.
# Pinned to clang-format-14 (Debian 12's), since other versions format some constructs differently.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
fmt=$(command -v clang-format-14 || true)
[ -n "$fmt" ] || { echo "check-format: clang-format-14 is missing (scripts/deps/base.txt installs it)" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h')
bad=$("$fmt" --dry-run "${files[@]}" 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u)
if [ -n "$bad" ]; then
    echo "check-format: these files need clang-format-14 -i:" >&2
    echo "$bad" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
