#!/usr/bin/env bash
# Fetches Debian's zlib source package once into third_party/downloads (ignored by git) and
# prints the folder that holds it. The WebAssembly build compiles zlib from it, so the web
# viewer decodes with the same zlib as the native build's Debian package.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dl="$top/third_party/downloads"
find_src() { ls -d "$dl"/zlib-*/ 2>/dev/null | head -1 || true; }
zsrc=$(find_src)
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
  [ -n "$uri" ] || { echo "fetch-zlib-source: no Debian mirror found in /etc/apt" >&2; exit 1; }
  mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial"
  echo "deb-src $uri $suite main" >"$tmp/sources.list"
  opts=(-o "Dir::Etc::SourceList=$tmp/sources.list" -o "Dir::Etc::SourceParts=$tmp/none"
        -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache=$tmp/cache" -o "APT::Get::List-Cleanup=0"
        -o "APT::Sandbox::User=root")
  echo "fetch-zlib-source: fetching zlib sources" >&2
  apt-get "${opts[@]}" -qq update >&2
  (cd "$dl" && apt-get "${opts[@]}" -qq source zlib >/dev/null)
  zsrc=$(find_src)
  [ -n "$zsrc" ] && [ -f "$zsrc/inflate.c" ] || { echo "fetch-zlib-source: no zlib source in $dl" >&2; exit 1; }
fi
echo "${zsrc%/}"
