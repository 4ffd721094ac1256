#!/usr/bin/env bash
# The main job: install what is missing, build, and run zovrec's demonstration.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" build
exec "$top/build/bin/zovrec" demo "${@}"
