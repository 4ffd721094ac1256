# Sourced by session.sh in bench mode, inside the running desktop: the CPU a 1920 x 1080
# recording at 250 ms into a stream costs per frame through the portal, beside the same
# picture recorded from an Xvfb of the same size, in one run. The recorder's own CPU and the
# display side's (sway, the portal backend and PipeWire; Xvfb) are reported apart.
frames=${ZOV_BENCH_FRAMES:-40}
run_timed() { # OUTFILE ARGS... : zovrec's user+system seconds; its output goes to OUTFILE
  python3 -c 'import resource, subprocess, sys
r = subprocess.run(sys.argv[2:], stdout=open(sys.argv[1], "w"), stderr=subprocess.PIPE, text=True)
u = resource.getrusage(resource.RUSAGE_CHILDREN)
if r.returncode != 0:
    sys.exit("zovrec failed: " + r.stderr)
print("%.3f" % (u.ru_utime + u.ru_stime))' "$1" "$zovrec" "${@:2}"
}
display_cpu() { local t=0; for p in "$@"; do t=$(echo "$t + $(cpu_of "$p")" | bc); done; echo "$t"; }

# The portal: the pattern on the output, still, as in the tests.
swaymsg output HEADLESS-1 bg "$work/pattern.png" stretch >/dev/null
# The restore token of a first run makes the measured run start without the chooser.
record_bg warm --delay 250 --frames 2
finish 30
sway_side=("$sway_pid" "$xdpw_pid" $(pgrep -u "$(id -u)" -x pipewire) $(pgrep -u "$(id -u)" -x wireplumber))
before=$(display_cpu "${sway_side[@]}")
( while ! grep -q '^frame 1$' "$work/out/bench-portal.out" 2>/dev/null; do
    swaymsg -q workspace poke && swaymsg -q workspace 1 || true; sleep 0.1; done ) &
poker=$!
portal_cpu=$(run_timed "$work/out/bench-portal.out" record "$work/out/bench-portal.zov" --portal --delay 250 \
  --frames "$frames" --progress) ||
  die "the portal recording for the bench failed"
kill $poker 2>/dev/null || true
portal_display=$(echo "$(display_cpu "${sway_side[@]}") - $before" | bc)

# X11: the same picture on an Xvfb root window.
# Xvfb picks a free display number and writes it to the file.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/xvfb.display" >"$work/logs/xvfb.log" 2>&1 &
xvfb_pid=$!
pids+=($xvfb_pid)
wait_until 10 test -s "$work/xvfb.display" || die "Xvfb did not start"
xdisplay=":$(head -1 "$work/xvfb.display")"
wait_until 10 xdpyinfo -display "$xdisplay" || die "Xvfb does not answer"
# ImageMagick's display sets the root window's background and exits with 1 even then.
display -display "$xdisplay" -window root "$work/pattern.png" || true
before=$(cpu_of $xvfb_pid)
x11_cpu=$(run_timed "$work/out/bench-x11.out" record "$work/out/bench-x11.zov" --display "$xdisplay" --delay 250 --frames "$frames") ||
  die "the X11 recording for the bench failed"
x11_display=$(echo "$(cpu_of $xvfb_pid) - $before" | bc)

per() { echo "scale=2; 1000 * $1 / $frames" | bc; }
echo "bench: $frames frames of 1920 x 1080 at 250 ms into a stream, still picture"
echo "bench: portal  recorder $(per "$portal_cpu") ms CPU/frame, display side (sway, backend, PipeWire) $(per "$portal_display") ms/frame"
echo "bench: X11     recorder $(per "$x11_cpu") ms CPU/frame, display side (Xvfb) $(per "$x11_display") ms/frame"
echo "bench: recorder ratio portal/X11 = $(echo "scale=2; $portal_cpu / $x11_cpu" | bc) (goal: at most 1.5)"
echo "bench: with the display side   = $(echo "scale=2; ($portal_cpu + $portal_display) / ($x11_cpu + $x11_display)" | bc)"
