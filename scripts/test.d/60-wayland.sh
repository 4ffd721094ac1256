#!/usr/bin/env bash
# Recording on a Wayland desktop: a headless sway, a private session bus, PipeWire and
# WirePlumber, the portal frontend with only the wlr backend, grim for reference pictures;
# tests/wayland/session.sh starts them and runs the checks as an unprivileged user (sway
# refuses root). Debian's portal backend refuses a compositor that offers no DMA-BUF format
# (every machine without a GPU), so it is built here from its Debian source package with that
# one condition removed (tests/wayland/xdpw-shm-only.patch), into a cache outside the
# repository. ZOV_TEST_CACHE moves the cache (default /var/cache/zov-test); ZOV_WAYLAND_MODE=bench
# runs bench/wayland_bench's measurement in the same desktop instead of the checks.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZOV_BUILD_DIR:-$top/build}
cache=${ZOV_TEST_CACHE:-/var/cache/zov-test}
say() { echo "wayland: $*"; }
die() { echo "wayland: FAILED: $*" >&2; exit 1; }

"$top/scripts/install-deps.sh"
[ -x "$build/bin/zovrec" ] || "$top/scripts/build.sh" "$(basename "$build")"

# --- the portal backend, built once per patch and source version ---------------------------
patch_file="$top/tests/wayland/xdpw-shm-only.patch"
key=$(sha256sum "$patch_file" | cut -c1-12)
xdpw="$cache/xdpw-$key/xdg-desktop-portal-wlr"
if [ ! -x "$xdpw" ]; then
  say "building xdg-desktop-portal-wlr from its Debian source (once; cached in $cache)"
  mkdir -p "$cache"
  # apt-get source needs source entries: the ones of the mirror this machine already uses.
  if ! apt-get source --print-uris xdg-desktop-portal-wlr >/dev/null 2>&1; then
    list=/etc/apt/sources.list.d/zov-test-src.sources
    if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
      # deb822 stanzas of type deb, repeated as deb-src.
      awk 'BEGIN{RS="";ORS="\n\n"} /(^|\n)Types:[^\n]*deb([ \n]|$)/ {sub(/Types:[^\n]*/,"Types: deb-src"); print}' \
        /etc/apt/sources.list.d/*.sources | grep -v '^#' >"$list"
    fi
    if [ -f /etc/apt/sources.list ]; then
      sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list >/etc/apt/sources.list.d/zov-test-src.list
    fi
    apt-get update -qq || die "apt-get update failed after adding the source entries"
  fi
  src="$cache/src-$key"
  rm -rf "$src" && mkdir -p "$src"
  (cd "$src" && timeout 300 apt-get source -qq xdg-desktop-portal-wlr >/dev/null 2>&1) ||
    die "apt-get source xdg-desktop-portal-wlr failed (is a deb-src entry for this machine's mirror reachable?)"
  dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name 'xdg-desktop-portal-wlr-*' | head -1)
  [ -n "$dir" ] || die "the source package unpacked no folder"
  patch -d "$dir" -p1 --quiet <"$patch_file" || die "the patch no longer applies to $(basename "$dir")"
  meson setup "$src/build" "$dir" -Dman-pages=disabled -Dsystemd=disabled >"$src/meson.log" 2>&1 ||
    { tail -20 "$src/meson.log"; die "meson setup of the portal backend failed"; }
  ninja -C "$src/build" -j2 >>"$src/meson.log" 2>&1 || { tail -20 "$src/meson.log"; die "the portal backend did not build"; }
  mkdir -p "$(dirname "$xdpw")"
  cp "$src/build/xdg-desktop-portal-wlr" "$xdpw.new" && mv "$xdpw.new" "$xdpw"
  rm -rf "$src"
fi

# --- the work folder and the unprivileged user ---------------------------------------------
work=$(mktemp -d /tmp/zov-wayland.XXXXXX)
cleanup() { [ -n "${ZOV_KEEP_WORK:-}" ] && echo "wayland: work folder kept: $work" || rm -rf "$work"; }
trap cleanup EXIT
# The program and the test files are copied where the user can read them: the checkout may
# sit in a folder that only root may enter.
mkdir -p "$work/prog" "$work/tests"
cp "$build/bin/zovrec" "$build/bin/zov-recorder" "$work/prog/"
cp -r "$build/bin/data" "$work/prog/" 2>/dev/null || true
cp "$xdpw" "$work/prog/"
# The desktop program's recorder through the portal, as a test program of its own.
[ -x "$build/tests/bin/test_ui_portal" ] && cp "$build/tests/bin/test_ui_portal" "$work/prog/"
# A screen of the tests' own with the pointer as metadata, shared by a portal of their own.
[ -x "$build/tests/bin/zov_fake_screen_source" ] && cp "$build/tests/bin/zov_fake_screen_source" "$work/prog/"
cp "$top"/tests/wayland/*.sh "$top"/tests/wayland/*.py "$top"/tests/support/fake_portal.py "$work/tests/"
chmod -R a+rX "$work"
mkdir -p "$work/session"
if [ "$(id -u)" -eq 0 ]; then
  user=zovtest
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" ||
    die "cannot create the test user $user"
  chown "$user:" "$work/session"
  runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
    ZOV_BENCH_FRAMES="${ZOV_BENCH_FRAMES:-40}" XDPW_LOG="${XDPW_LOG:-DEBUG}" \
    bash "$work/tests/session.sh" "$work/prog" "$work/session" ${ZOV_WAYLAND_MODE:-}
else
  env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 ZOV_BENCH_FRAMES="${ZOV_BENCH_FRAMES:-40}" \
    XDPW_LOG="${XDPW_LOG:-DEBUG}" bash "$work/tests/session.sh" "$work/prog" "$work/session" ${ZOV_WAYLAND_MODE:-}
fi

# The portal's 320 x 240 recording in the browser suite, like the X11 ones: it needs the suite's
# packages and the WebAssembly viewer, which scripts/test.d/50-viewer.sh has set up before.
[ -n "${ZOV_WAYLAND_MODE:-}" ] && exit 0
web="$top/tests/viewer/web"
if [ -d "$web/node_modules" ] && [ -f "$build/wasm/bin/zov-viewer-core.wasm" ]; then
  mkdir -p "$work/portal"
  for ext in .zov .htm -ocx.htm .ppm; do cp "$work/session/out/area$ext" "$work/portal/" || die "the portal recording lacks area$ext"; done
  cp -r "$work/session/out/zov-viewer" "$work/portal/" || die "the portal recording's pages have no viewer beside them"
  say "the portal recording in the browser suite (chromium)"
  (cd "$web" && ZOV_BUILD_DIR="$build" ZOV_BROWSER=chromium ZOV_PORTAL_RECORDING="$work/portal/area.zov" \
    node --test --test-name-pattern='Wayland portal' player.test.mjs </dev/null) || die "the portal recording does not play in the browser"
else
  say "SKIPPED the browser check of the portal recording: run scripts/test.d/50-viewer.sh first (it installs the suite and builds the viewer)"
fi
