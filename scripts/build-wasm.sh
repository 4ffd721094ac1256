#!/usr/bin/env bash
# Builds the web viewer with Emscripten: an emcmake configuration of this same tree (the
# decoder and the viewer logic only, zlib from Debian's source) in BUILD_DIR/wasm. It links
# the module for the page and for node (tests), and fills BUILD_DIR/bin/data/viewer, where
# the page export takes the viewer's files from.
# Usage: build-wasm.sh [BUILD_DIR]   (default build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$top/$build" ;; esac
# Debian's emcc needs its node modules (acorn) from here; its frozen cache works offline.
export NODE_PATH=/usr/share/nodejs
zsrc=$(bash "$top/scripts/fetch-zlib-source.sh")
emcmake cmake -S "$top" -B "$build/wasm" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZOV_ZLIB_SOURCE="$zsrc" -DZOV_VIEWER_DATA_DIR="$build/bin/data/viewer" >/dev/null
cmake --build "$build/wasm" -j "$(nproc)" --target zov_viewer_files zov_viewer_core_node
echo "build-wasm: $(stat -c %s "$build/wasm/bin/zov-viewer-core.wasm") bytes of wasm in $build/wasm/bin"
