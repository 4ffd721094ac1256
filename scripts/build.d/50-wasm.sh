#!/usr/bin/env bash
# The web viewer (WebAssembly + <zov-player>) beside the native build.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
exec bash "$top/scripts/build-wasm.sh" build
