#!/usr/bin/env bash
# The main job: install what is missing, build (native, then each extra build in
# scripts/build.d/, such as the WebAssembly viewer), and run zovrec's demonstration.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" build
for step in "$top"/scripts/build.d/*.sh; do
  [ -e "$step" ] || continue
  bash "$step"
done
exec "$top/build/bin/zovrec" demo "${@}"
