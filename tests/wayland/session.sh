#!/usr/bin/env bash
# The Wayland desktop for the tests, as an unprivileged user: a private session bus, headless
# sway, PipeWire and WirePlumber, the portal backend and frontend; then the recordings, each
# checked against grim's screenshots pixel for pixel. Every process started here is stopped
# by its pid at the end, whatever happened.
# Usage: session.sh PROGRAM_FOLDER WORK_FOLDER [bench] (the folder must be this user's own);
# with "bench" it runs bench.sh in the same desktop instead of the checks.
set -euo pipefail
prog=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
zovrec="$prog/zovrec"
pictures="$here/pictures.py"

pids=()
failed=0
say() { echo "wayland: $*"; }
fail() {
  echo "wayland: FAILED: $*" >&2
  failed=1
}
stop_all() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    for _ in $(seq 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
    kill -9 "${pids[i]}" 2>/dev/null || true
  done
}
show_logs() {
  for f in "$work"/logs/*.log; do
    echo "---- $(basename "$f") (last lines)"
    tail -25 "$f"
  done
}
trap 'stop_all' EXIT
die() {
  echo "wayland: FAILED: $*" >&2
  show_logs >&2
  exit 1
}

# Waits up to $1 seconds for the command to succeed.
wait_until() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$work/logs" "$work/out" "$work/services" "$work/portals"
mkdir -m 0700 -p "$XDG_RUNTIME_DIR"

# --- the session bus: nothing but what is started here (and the permission store, which
# keeps the portal's restore data) can be activated on it ---------------------------------
cat >"$work/services/org.freedesktop.impl.portal.PermissionStore.service" <<EOF
[D-BUS Service]
Name=org.freedesktop.impl.portal.PermissionStore
Exec=/usr/libexec/xdg-permission-store
EOF
cat >"$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$XDG_RUNTIME_DIR/bus</listen>
  <servicedir>$work/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >"$work/logs/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
has_name() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}
wait_until 10 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.ListNames || die "the session bus did not come up within 10 s"

# --- with no portal on the bus, the recording fails at once with a sentence ------------------
start=$(date +%s%N)
rc=0
timeout 20 "$zovrec" record "$work/out/none.zov" --portal --frames 2 >"$work/out/none.out" 2>"$work/out/none.err" || rc=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
if [ $rc -eq 0 ] || [ $rc -eq 124 ]; then
  fail "without a portal, zovrec record --portal ended with $rc"
elif [ $elapsed_ms -ge 5000 ]; then
  fail "without a portal, zovrec record --portal took $elapsed_ms ms to fail (at most 5000)"
elif ! grep -q 'no desktop portal (org.freedesktop.portal.Desktop)' "$work/out/none.err"; then
  fail "without a portal, the message does not name the portal: $(cat "$work/out/none.err")"
elif [ -e "$work/out/none.zov" ]; then
  fail "without a portal, a stream file was left behind"
else
  say "no portal: failed in $elapsed_ms ms: $(tail -1 "$work/out/none.err")"
fi

# --- sway, headless, software rendering, no input devices (so no pointer on the screen) ----
python3 "$pictures" pattern "$work/pattern.png" 1920 1080
# The bar holds the tray (a StatusNotifierItem host on the session bus); it stays invisible
# until the tray's check at the end, so that no recording sees it.
cat >"$work/sway.conf" <<EOF
output HEADLESS-1 mode 1920x1080 position 0 0 bg $work/pattern.png stretch
bar {
  id tray
  mode invisible
  position bottom
  tray_output *
  status_command sleep 86400
}
EOF
WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway --unsupported-gpu -c "$work/sway.conf" >"$work/logs/sway.log" 2>&1 &
sway_pid=$!
pids+=($sway_pid)
sway_ready() {
  compgen -G "$XDG_RUNTIME_DIR/wayland-*.lock" >/dev/null && compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" >/dev/null
}
wait_until 20 sway_ready || die "sway did not come up within 20 s"
socket=$(basename "$(compgen -G "$XDG_RUNTIME_DIR/wayland-*.lock" | head -1)" .lock)
export WAYLAND_DISPLAY=$socket
export SWAYSOCK=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -1)
wait_until 10 swaymsg -t get_outputs || die "sway does not answer on its socket"
say "sway up on $WAYLAND_DISPLAY"

# --- PipeWire and its session manager ---------------------------------------------------------
pipewire >"$work/logs/pipewire.log" 2>&1 &
pids+=($!)
wait_until 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || die "PipeWire did not come up within 10 s"
wireplumber >"$work/logs/wireplumber.log" 2>&1 &
pids+=($!)
wait_until 15 sh -c 'pw-dump 2>/dev/null | grep -q "\"application.name\": \"WirePlumber\""' ||
  die "WirePlumber did not connect to PipeWire within 15 s"

# --- the portal: the backend (only wlr, no chooser, the one output) and the frontend --------
# The output chooser is a script that counts its calls and picks the one output: a recording
# that restores its earlier choice must not call it.
cat >"$work/chooser.sh" <<EOF
#!/bin/sh
echo called >>"$work/chooser.calls"
cat >/dev/null
# The user closes the picker without a choice while this file exists.
[ -e "$work/refuse" ] || echo HEADLESS-1
EOF
chmod +x "$work/chooser.sh"
: >"$work/chooser.calls"
cat >"$work/xdpw.conf" <<EOF
[screencast]
chooser_type=simple
chooser_cmd=$work/chooser.sh
output_name=HEADLESS-1
EOF
cat >"$work/portals/wlr.portal" <<EOF
[portal]
DBusName=org.freedesktop.impl.portal.desktop.wlr
Interfaces=org.freedesktop.impl.portal.Screenshot;org.freedesktop.impl.portal.ScreenCast;
UseIn=wlroots;sway;
EOF
start_backend() {
  "$prog/xdg-desktop-portal-wlr" -l "${XDPW_LOG:-DEBUG}" -c "$work/xdpw.conf" >>"$work/logs/xdpw.log" 2>&1 &
  xdpw_pid=$!
  pids+=($xdpw_pid)
  wait_until 15 has_name org.freedesktop.impl.portal.desktop.wlr ||
    die "the wlr portal backend did not take its bus name within 15 s"
}
start_backend
XDG_DESKTOP_PORTAL_DIR="$work/portals" XDG_CURRENT_DESKTOP=sway \
  /usr/libexec/xdg-desktop-portal -r -v >"$work/logs/portal.log" 2>&1 &
pids+=($!)
wait_until 15 has_name org.freedesktop.portal.Desktop || die "xdg-desktop-portal did not take its bus name within 15 s"
dbus-monitor --session "interface='org.freedesktop.portal.ScreenCast'" >"$work/logs/dbus-monitor.log" 2>&1 &
pids+=($!)
wait_until 10 test -s "$work/logs/dbus-monitor.log" || die "dbus-monitor did not start"
say "bus, portal backend and frontend up"

# Frames of a stream, decoded to OUT/file0001.bmp ...
decode() { # STREAM OUTDIR
  rm -rf "$2" && mkdir -p "$2" && "$zovrec" stream-decode "$1" "$2" >/dev/null
}
frames_in() { find "$1" -name 'file*.bmp' | sort; }
chooser_calls() { wc -l <"$work/chooser.calls"; }

# Starts a recording in the background with --progress; its output goes to OUT.{out,err}.
record_bg() { # NAME ARGS...
  local name=$1
  shift
  "$zovrec" record "$work/out/$name.zov" --portal --progress "$@" >"$work/out/$name.out" 2>"$work/out/$name.err" &
  rec_pid=$!
  # The portal backend's first copy of a new stream waits for damage on the output, which a
  # still screen never has: switching to an empty workspace and back damages the whole
  # output without changing a pixel. Done until the first frame is there.
  local deadline=$((SECONDS + 20))
  until grep -q '^frame 1$' "$work/out/$name.out" || ! kill -0 $rec_pid 2>/dev/null || [ $SECONDS -ge $deadline ]; do
    swaymsg -q workspace poke && swaymsg -q workspace 1 || true
    sleep 0.1
  done
}
wait_frame() { # NAME N SECONDS
  wait_until "$3" grep -qx "frame $2" "$work/out/$1.out"
}
finish() { # wait for the recording with a bound; its exit status in rec_rc
  local deadline=$((SECONDS + $1))
  while kill -0 "$rec_pid" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then
      kill "$rec_pid" 2>/dev/null || true
      rec_rc=124
      wait "$rec_pid" 2>/dev/null || true
      return
    fi
    sleep 0.05
  done
  rec_rc=0
  wait "$rec_pid" || rec_rc=$?
}

# CPU seconds (user + system) of a pid so far.
cpu_of() { awk '{printf "%.2f", ($14 + $15) / 100}' "/proc/$1/stat" 2>/dev/null || echo 0; }
if [ "${3:-}" = bench ]; then
  source "$here/bench.sh"
  exit $?
fi

# --- 1. the whole output, and the restore token of the first choice --------------------------
before=$(chooser_calls)
record_bg full --delay 100 --frames 6
finish 30
[ $rec_rc -eq 0 ] || die "the first portal recording failed ($rec_rc): $(cat "$work/out/full.err")"
grim -t ppm "$work/out/full.ppm" || die "grim could not take a screenshot"
after_first=$(chooser_calls)
say "first recording: $(tail -1 "$work/out/full.out"); $(grep 'shared screen' "$work/out/full.err")"
decode "$work/out/full.zov" "$work/out/full" || fail "the whole-output stream does not decode"
count=$(frames_in "$work/out/full" | wc -l)
[ "$count" -eq 6 ] || fail "the whole-output recording holds $count frames, not 6"
for f in $(frames_in "$work/out/full"); do
  python3 "$pictures" same "$f" "$work/out/full.ppm" || fail "a frame of the whole output differs from grim's picture"
done
[ -s "$XDG_CONFIG_HOME/zov-recorder/portal-restore-token" ] || fail "no restore token was kept after the first recording"
[ "$after_first" -eq $((before + 1)) ] || fail "the first recording called the output chooser $((after_first - before)) times, not once"

# --- 2. a 320 x 240 area, with the restore token: no chooser this time -------------------
record_bg area --area 700,400,1020,640 --delay 100 --frames 4
finish 30
[ $rec_rc -eq 0 ] || fail "the area recording failed ($rec_rc): $(cat "$work/out/area.err")"
grim -t ppm -g "700,400 320x240" "$work/out/area.ppm"
decode "$work/out/area.zov" "$work/out/area" || fail "the area stream does not decode"
count=$(frames_in "$work/out/area" | wc -l)
[ "$count" -eq 4 ] || fail "the area recording holds $count frames, not 4"
for f in $(frames_in "$work/out/area"); do
  python3 "$pictures" same "$f" "$work/out/area.ppm" || fail "a frame of the 320 x 240 area differs from grim's picture"
done
after_second=$(chooser_calls)
[ "$after_second" -eq "$after_first" ] || fail "the second recording called the output chooser again despite the restore token"
grep -q 'string "restore_token"' "$work/logs/dbus-monitor.log" ||
  fail "no SelectSources call carried the restore token (D-Bus log)"
select_count=$(grep -c 'member=SelectSources' "$work/logs/dbus-monitor.log" || true)
say "area recording: $(tail -1 "$work/out/area.out"); SelectSources calls $select_count, chooser runs $after_second"

# --- 2b. the user refuses in the picker: a clear sentence at once, nothing written -------------
mv "$XDG_CONFIG_HOME/zov-recorder/portal-restore-token" "$work/token.kept"
touch "$work/refuse"
rc=0
timeout 20 "$zovrec" record "$work/out/refused.zov" --portal --frames 2 >/dev/null 2>"$work/out/refused.err" || rc=$?
rm "$work/refuse"
mv "$work/token.kept" "$XDG_CONFIG_HOME/zov-recorder/portal-restore-token"
if [ $rc -eq 0 ] || [ $rc -eq 124 ]; then
  fail "a refusal in the picker ended the recording with $rc"
elif ! grep -q 'screen sharing was cancelled in the desktop' "$work/out/refused.err"; then
  fail "a refusal in the picker gave no clear sentence: $(cat "$work/out/refused.err")"
elif [ -e "$work/out/refused.zov" ]; then
  fail "a refusal in the picker left a stream file behind"
else
  say "refused in the picker: $(tail -1 "$work/out/refused.err")"
fi

# --- 2c. the desktop program: Begin records through the portal, Stop keeps the frames; its
# settings dialog chooses through the desktop and drags an area on the frozen first picture --
if [ -x "$prog/test_ui_portal" ]; then
  rc=0
  ZOV_PORTAL_SESSION=1 ZOV_TEST_DATA="$prog/data" timeout 120 "$prog/test_ui_portal" \
    --gtest_filter='-*SharedByTheDesktop*' >"$work/out/program.out" 2>&1 || rc=$?
  if [ $rc -ne 0 ]; then
    fail "the desktop program's recording through the portal failed ($rc): $(tail -30 "$work/out/program.out")"
  elif ! grep -q '^\[  PASSED  \] 2 tests' "$work/out/program.out"; then
    fail "the desktop program's portal tests did not all run: $(tail -5 "$work/out/program.out")"
  else
    say "$(grep '^program recording' "$work/out/program.out")"
    say "$(grep '^program settings' "$work/out/program.out")"
  fi
else
  fail "test_ui_portal is missing from the build"
fi

# --- 3. a still screen still gives one frame per delay; a new background shows at once ------
record_bg still --delay 250 --frames 400
# Measured from a few frames in, when the start (the first key frame of a full screen is the
# slowest) has been caught up with: 16 frames of a still screen come on the 250 ms schedule,
# about 3.75 s from the first to the sixteenth, neither at once nor stalled. On a busy machine
# a late frame is followed at once by the next, as the pacing intends: hence the margin.
n0=$(($(grep -c '^frame ' "$work/out/still.out") + 4))
wait_frame still $n0 5 || fail "a still screen gave no frame $n0 within 5 s"
t0=$(date +%s%N)
wait_frame still $((n0 + 15)) 20 || fail "a still screen did not give 16 frames at 250 ms within 20 s"
still_ms=$((($(date +%s%N) - t0) / 1000000))
[ $still_ms -ge 2000 ] && [ $still_ms -le 12000 ] ||
  fail "16 frames of a still screen took $still_ms ms: not on a 250 ms schedule"
swaymsg output HEADLESS-1 bg '#3a7bd5' solid_color >/dev/null
changed() {
  grim -t ppm -g "0,0 1920x1080" "$work/out/solid.ppm" &&
    python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); sys.exit(0 if d[-3:]==bytes.fromhex("3a7bd5") else 1)' "$work/out/solid.ppm"
}
wait_until 10 changed || fail "the new background did not reach the screen"
seen=$(grep -c '^frame ' "$work/out/still.out")
wait_frame still $((seen + 4)) 10 || fail "the recording stalled after the background changed"
kill -INT $rec_pid
finish 10
[ $rec_rc -eq 0 ] || fail "the still-screen recording failed ($rec_rc): $(cat "$work/out/still.err")"
decode "$work/out/still.zov" "$work/out/still" || fail "the still-screen stream does not decode"
classes=$(python3 "$pictures" classify "$work/out/full.ppm" "$work/out/solid.ppm" $(frames_in "$work/out/still"))
say "still screen: 16 frames in $still_ms ms; frames before/after the new background: $classes (background seen at frame $seen)"
# One frame may catch the desktop between the two backgrounds (the old one's tool gone, the
# new one's not yet drawn): that is what was on the screen.
[[ $classes =~ ^A+-?B+$ ]] || fail "the frames are not the old picture followed by the new one: $classes"
[ "${#classes}" -ge $((seen + 2)) ] && [ "${classes:$((seen + 1))}" = "$(printf 'B%.0s' $(seq $((${#classes} - seen - 1))))" ] ||
  fail "the new background did not show from the frame after grim saw it: $classes (seen at $seen)"

# --- 4. the portal backend ends mid-run: frames kept, a clear sentence, no hang ---------------
swaymsg output HEADLESS-1 bg "$work/pattern.png" stretch >/dev/null
record_bg killed --delay 100 --frames 100000
wait_frame killed 3 15 || fail "the recording before the kill did not start: $(cat "$work/out/killed.err")"
kill "$xdpw_pid"
finish 15
if [ $rec_rc -eq 124 ]; then
  fail "the recording hung after the portal backend ended"
elif [ $rec_rc -eq 0 ]; then
  fail "the recording ended as a success after its stream was gone"
else
  grep -q 'the shared screen stopped' "$work/out/killed.err" || fail "no clear sentence when the stream ended: $(cat "$work/out/killed.err")"
  grep -q 'recorded before are kept' "$work/out/killed.err" || fail "the kept frames are not reported"
  decode "$work/out/killed.zov" "$work/out/killed" || fail "the stream of the interrupted run does not decode"
  kept=$(frames_in "$work/out/killed" | wc -l)
  [ "$kept" -ge 3 ] || fail "the interrupted run kept $kept frames, expected at least 3"
  say "backend ended mid-run: $kept frames kept; $(grep 'ended early' "$work/out/killed.err")"
fi

# --- 5. a desktop that sends the pointer as metadata and stops sharing ----------------------
# The test's own portal (fake_portal.py) on a bus of its own, sharing a screen of the test's own
# (zov_fake_screen_source) through the same PipeWire: the pointer's place, hotspot and bitmap
# come beside the picture, which the backend of step 1 never sends.
if [ -x "$prog/zov_fake_screen_source" ]; then
  sed "s|$XDG_RUNTIME_DIR/bus<|$XDG_RUNTIME_DIR/bus2<|; /servicedir/d" "$work/bus.conf" >"$work/bus2.conf"
  dbus-daemon --config-file="$work/bus2.conf" --nofork --nopidfile >"$work/logs/dbus2.log" 2>&1 &
  pids+=($!)
  bus2="unix:path=$XDG_RUNTIME_DIR/bus2"
  wait_until 10 test -S "$XDG_RUNTIME_DIR/bus2" || die "the second session bus did not come up"
  "$prog/zov_fake_screen_source" 640 480 >"$work/logs/source.out" 2>"$work/logs/source.log" &
  pids+=($!)
  wait_until 10 test -s "$work/logs/source.out" || die "the test's screen source got no PipeWire node"
  DBUS_SESSION_BUS_ADDRESS=$bus2 python3 "$here/fake_portal.py" "$work/logs/fake-portal.log" screencast \
    "$(head -1 "$work/logs/source.out")" 640 480 >"$work/logs/fake-portal.out" 2>&1 &
  pids+=($!)
  wait_until 10 grep -q '^ready' "$work/logs/fake-portal.log" || die "the test's portal did not start"

  # 5a. Into a project: the pointer drawn from the metadata, its records with no shape name.
  mkdir -p "$work/out/meta"
  rc=0
  DBUS_SESSION_BUS_ADDRESS=$bus2 timeout 60 "$zovrec" record "$work/out/meta/meta.scp" --portal --frames 4 \
    --delay 100 >"$work/out/meta.out" 2>"$work/out/meta.err" || rc=$?
  if [ $rc -ne 0 ]; then
    fail "the recording with pointer metadata failed ($rc): $(cat "$work/out/meta.err")"
  else
    grep -q 'comes as metadata and is drawn in' "$work/out/meta.err" || fail "zovrec did not say the pointer comes as metadata: $(cat "$work/out/meta.err")"
    grep -q '^select types=1 cursor_mode=4$' "$work/logs/fake-portal.log" || fail "the metadata mode was not asked for: $(cat "$work/logs/fake-portal.log")"
    # Read before anything opens the project again: opening starts cursor.bin anew.
    python3 "$pictures" pointer "$work/out/meta/meta.scp" 4 || fail "the pointer records are not the metadata's"
    for i in 0 1 2 3; do
      "$zovrec" frame "$work/out/meta/meta.scp" $i "$work/out/meta/frame$i.bmp" >/dev/null ||
        fail "frame $i of the metadata recording does not decode"
    done
    python3 "$pictures" fake "$work"/out/meta/frame*.bmp &&
      say "pointer as metadata: 4 frames with the pointer drawn at its hotspot, 4 records with shape -1" ||
      fail "the frames do not show the shared picture with its pointer"
  fi

  # 5b. The desktop's "stop sharing" ends the run as Stop does, the frames kept.
  DBUS_SESSION_BUS_ADDRESS=$bus2 "$zovrec" record "$work/out/stopped.zov" --portal --progress --delay 100 \
    --frames 100000 >"$work/out/stopped.out" 2>"$work/out/stopped.err" &
  rec_pid=$!
  wait_frame stopped 3 20 || fail "the recording before the desktop stopped sharing did not start: $(cat "$work/out/stopped.err")"
  DBUS_SESSION_BUS_ADDRESS=$bus2 gdbus call --session --dest org.freedesktop.portal.Desktop \
    --object-path /org/freedesktop/portal/desktop --method org.zov.Test.CloseSession >/dev/null ||
    fail "the test's portal could not end its session"
  finish 15
  if [ $rec_rc -ne 0 ]; then
    fail "stop sharing did not end the recording as Stop does ($rec_rc): $(cat "$work/out/stopped.err")"
  else
    grep -q 'sharing was stopped on the desktop' "$work/out/stopped.out" || fail "stop sharing was not said: $(cat "$work/out/stopped.out")"
    decode "$work/out/stopped.zov" "$work/out/stopped" || fail "the stream the desktop stopped does not decode"
    kept=$(frames_in "$work/out/stopped" | wc -l)
    [ "$kept" -ge 3 ] || fail "stop sharing kept $kept frames, expected at least 3"
    python3 "$pictures" fake $(frames_in "$work/out/stopped") &&
      say "stop sharing on the desktop: $(tail -1 "$work/out/stopped.out")" ||
      fail "the frames before stop sharing are not the shared picture"
  fi

  # 5c. The desktop program: a project that records a window asks the desktop for one and
  # records the shared window until the desktop stops sharing.
  rc=0
  ZOV_FAKE_PORTAL_BUS=$bus2 ZOV_FAKE_PORTAL_LOG="$work/logs/fake-portal.log" ZOV_TEST_DATA="$prog/data" \
    timeout 120 "$prog/test_ui_portal" --gtest_filter='*SharedByTheDesktop*' >"$work/out/window.out" 2>&1 || rc=$?
  if [ $rc -ne 0 ] || ! grep -q '^\[  PASSED  \] 1 test' "$work/out/window.out"; then
    fail "the desktop program's recording of a shared window failed ($rc): $(tail -30 "$work/out/window.out")"
  else
    say "$(grep '^program window' "$work/out/window.out")"
  fi
else
  fail "zov_fake_screen_source is missing from the build"
fi

# --- 6. the program's tray in the desktop's bar, through Qt's StatusNotifierItem ------------
if [ -x "$prog/zov-recorder" ]; then
  swaymsg -q bar tray mode dock || fail "the bar could not be shown"
  watcher_items() {
    gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
      --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems
  }
  wait_until 10 watcher_items || fail "the bar's tray took no StatusNotifierWatcher name"
  before_items=$(watcher_items 2>/dev/null || true)
  QT_QPA_PLATFORM=wayland "$prog/zov-recorder" >"$work/logs/program.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  has_item() { [ "$(watcher_items 2>/dev/null)" != "$before_items" ]; }
  if wait_until 20 has_item; then
    item=$(watcher_items | grep -o "'[^']*'" | tr -d "'" | head -1)
    service=${item%%/*}
    path=/${item#*/}
    [ "$service" = "$item" ] && path=/StatusNotifierItem
    tip=$(gdbus call --session --dest "$service" --object-path "$path" --method org.freedesktop.DBus.Properties.Get \
      org.kde.StatusNotifierItem ToolTip 2>&1 || true)
    if echo "$tip" | grep -q "'\.\.\.\.'"; then
      say "tray: the program's item $item is in the bar's tray, its tip \"....\""
    else
      fail "the tray item's tip is not \"....\": $tip"
    fi
    # A picture of the desktop with the program's window and the tray, for people to look at,
    # once the window has painted over the background at (960, 300).
    drawn() {
      grim -t ppm -g "960,300 1x1" "$work/out/probe.ppm" &&
        [ "$(tail -c 3 "$work/out/probe.ppm" | od -An -tx1 | tr -d ' \n')" != \
          "$(printf '%02x%02x%02x' $(((960 * 7 + 300) & 255)) $(((300 * 5 + (960 >> 3)) & 255)) $(((960 ^ 300) & 255)))" ]
    }
    wait_until 10 drawn || true
    grim -t png "$work/out/tray.png" || true
    swaymsg -t get_tree >"$work/logs/tree.json" 2>&1 || true
  else
    fail "the program's tray icon did not reach the bar's tray: $(tail -5 "$work/logs/program.log")"
  fi
  kill $program_pid 2>/dev/null || true
else
  fail "zov-recorder is missing from the build"
fi

# A sanitizer build (ZOV_BUILD_DIR=build-asan) reports into the same error files, also in the
# runs that were meant to fail.
if grep -l 'Sanitizer' "$work"/out/*.err 2>/dev/null; then
  fail "a sanitizer reported an error (files above)"
fi
if [ $failed -ne 0 ]; then
  show_logs >&2
  exit 1
fi
say "all Wayland checks passed"
