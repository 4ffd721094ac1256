#!/usr/bin/env bash
# Builds the web viewer: the codec and the viewer logic compiled to WebAssembly with Debian's
# emscripten, zlib compiled for it from the Debian source package fetched here (into an
# ignored folder, never committed), and the <zov-player> module beside them.
# Usage: build-wasm.sh [BUILD_DIR]   (default build; output in BUILD_DIR/web and copied to
# BUILD_DIR/bin/data/viewer, where the page export takes the viewer's files from)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case "$build" in /*) ;; *) build="$top/$build" ;; esac
out="$build/web"
obj="$build/web-obj"
mkdir -p "$out" "$obj"
# Debian's emcc needs its node modules (acorn) from here; its frozen cache works offline.
export NODE_PATH=/usr/share/nodejs

# zlib sources from the Debian archive, fetched once into third_party/downloads.
dl="$top/third_party/downloads"
zsrc=$(ls -d "$dl"/zlib-*/ 2>/dev/null | head -1 || true)
if [ -z "$zsrc" ] || [ ! -f "$zsrc/inflate.c" ]; then
  mkdir -p "$dl"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  # The mirror the system already uses; the security suite does not serve sources here.
  uri=$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null \
        | grep -v security | head -1 || true)
  if [ -z "$uri" ]; then
    uri=$(awk '$1=="deb" && $0 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
  fi
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  [ -n "$uri" ] || { echo "build-wasm: no Debian mirror found in /etc/apt" >&2; exit 1; }
  mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial"
  echo "deb-src $uri $suite main" >"$tmp/sources.list"
  opts=(-o "Dir::Etc::SourceList=$tmp/sources.list" -o "Dir::Etc::SourceParts=$tmp/none"
        -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache=$tmp/cache" -o "APT::Get::List-Cleanup=0" -o "APT::Sandbox::User=root")
  echo "build-wasm: fetching zlib sources"
  apt-get "${opts[@]}" -qq update
  (cd "$dl" && apt-get "${opts[@]}" -qq source zlib >/dev/null)
  zsrc=$(ls -d "$dl"/zlib-*/ | head -1)
fi

CXXFLAGS=(-O3 -std=c++20 -DNDEBUG -I"$top" -I"$zsrc")
CFLAGS=(-O3 -DNDEBUG -I"$zsrc")
objs=()
compile() {  # compile SRC OBJ FLAGS... only when the source is newer
  local src=$1 o=$2; shift 2
  if [ ! -f "$o" ] || [ "$src" -nt "$o" ] || [ -n "$(find "$top/codec" "$top/viewer" -name '*.h' -newer "$o" 2>/dev/null | head -1)" ]; then
    emcc "$@" -c "$src" -o "$o"
  fi
  objs+=("$o")
}
for f in adler32 crc32 deflate inffast inflate inftrees trees zutil; do
  compile "$zsrc/$f.c" "$obj/z_$f.o" "${CFLAGS[@]}"
done
shopt -s nullglob
for f in "$top"/codec/*.cpp "$top"/viewer/*.cpp; do
  n=$(basename "$(dirname "$f")")_$(basename "$f" .cpp)
  compile "$f" "$obj/$n.o" "${CXXFLAGS[@]}"
done

emcc -O3 "${objs[@]}" -o "$out/zov-viewer-core.js" \
  -sMODULARIZE=1 -sEXPORT_ES6=1 -sENVIRONMENT=web,worker -sALLOW_MEMORY_GROWTH=1 -sFILESYSTEM=0 \
  -sMAXIMUM_MEMORY=1gb -sEXPORT_NAME=createZovViewerCore \
  -sEXPORTED_FUNCTIONS=@"$top/viewer/wasm-exports.txt" \
  -sEXPORTED_RUNTIME_METHODS=HEAPU8,HEAP32,HEAPU32,HEAPF64,UTF8ToString
cp "$top"/viewer/web/zov-player.js "$out/"
mkdir -p "$build/bin/data/viewer"
cp "$out"/zov-player.js "$out"/zov-viewer-core.js "$out"/zov-viewer-core.wasm "$build/bin/data/viewer/"
echo "build-wasm: $(stat -c %s "$out/zov-viewer-core.wasm") bytes of wasm in $out"
