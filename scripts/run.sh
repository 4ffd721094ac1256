#!/usr/bin/env bash
# The main job: install what is missing, build (native, then each extra build in
# scripts/build.d/, such as the WebAssembly viewer), and start the desktop program; with no
# display, say so and run zovrec's demonstration instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" build
for step in "$top"/scripts/build.d/*.sh; do
  [ -e "$step" ] || continue
  bash "$step"
done
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$top/build/bin/zov-recorder" "${@}"
fi
echo "run.sh: no display (DISPLAY is not set), so zov-recorder cannot show its window; running 'zovrec demo' instead."
exec "$top/build/bin/zovrec" demo
