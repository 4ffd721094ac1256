#!/usr/bin/env bash
# The web viewer in a real browser: builds the WebAssembly module and zovrec, installs the
# pinned playwright-core (no browser download: Debian's chromium is used), and runs the
# browser tests with node's test runner. Servers and the browser get their own ports and
# profile and are stopped by the tests; the whole suite takes well under two minutes.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZOV_BUILD_DIR:-$top/build}
[ -x "$build/bin/zovrec" ] || "$top/scripts/build.sh" "$(basename "$build")"
bash "$top/scripts/build-wasm.sh" "$build"
# The WebAssembly decoder under node against the sample streams' checksums (no browser).
ZOV_WASM_DIR="$build/wasm/bin" node --test "$top/tests/viewer/node/vectors.test.mjs" </dev/null
cd "$top/tests/viewer/web"
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
export ZOV_BUILD_DIR="$build"
exec node --test --test-concurrency=1 player.test.mjs </dev/null
