#!/usr/bin/env bash
# The web viewer: builds the WebAssembly module and zovrec, checks the module's decoder under
# node against the sample streams, installs the pinned playwright-core and puppeteer-core (no
# browser download: Debian's chromium and firefox-esr are used), and runs the browser tests
# with node's test runner once in each browser. Servers and browsers get their own ports and
# profiles and are stopped by the tests. NODE picks another node (such as Debian's node 18).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZOV_BUILD_DIR:-$top/build}
node=${NODE:-node}
[ -x "$build/bin/zovrec" ] || "$top/scripts/build.sh" "$(basename "$build")"
bash "$top/scripts/build-wasm.sh" "$build"
# The WebAssembly module under node (no browser): the sample streams' checksums, and one
# player running out of memory beside a good one.
ZOV_WASM_DIR="$build/wasm/bin" "$node" --test "$top/tests/viewer/node/vectors.test.mjs" \
  "$top/tests/viewer/node/isolation.test.mjs" </dev/null
cd "$top/tests/viewer/web"
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
export ZOV_BUILD_DIR="$build"
for browser in chromium firefox; do
  echo "== browser suite in $browser"
  ZOV_BROWSER=$browser "$node" --test player.test.mjs </dev/null
done
