#!/usr/bin/env bash
# CPU per frame of a 1920 x 1080 recording at 250 ms into a stream through the Wayland portal
# (headless sway, PipeWire, the wlr portal backend) beside the same picture recorded from an
# Xvfb, in one run; reported as a ratio. Uses the Wayland test desktop of
# scripts/test.d/60-wayland.sh (run as root: it creates the user the desktop runs as).
# How to run: bash bench/wayland_bench.sh   (ZOV_BENCH_FRAMES sets the frames, default 40)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
ZOV_WAYLAND_MODE=bench exec bash "$top/scripts/test.d/60-wayland.sh"
