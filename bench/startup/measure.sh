#!/usr/bin/env bash
# Start-up and first-preview figures of the release build, on scratch copies of examples/home,
# under Xvfb, with a bare Qt Widgets window of the same size measured in the same run.
#
#   bash bench/startup/measure.sh [RUNS] [BUILD_DIR]    (default 10 runs of build/release)
#
# Each run starts a bare window, then the app with a bookmark of the sample folder stored (so it
# opens on the list), then a copy of the app without the preview module beside it, and alternates
# them. Memory is read when the first window maps, before the module: the app loads the module once
# the first frame is drawn. In the app run it waits 1.5 s, gives the window the focus (as a window
# manager does when the app makes its window anew, which the first web view makes it do), reads the
# memory again ("before the first preview", the module loaded by then), clicks the second signature,
# the third and the second again, and times each click to the preview's first paint. The copy
# without the module shows the memory of the app itself 1.5 s after its window maps. A screenshot
# of the last run is left in build/startup/.
# Every run has a home of its own, but the runs share one cache folder, as launches on one machine
# do: the OpenGL shader caches that the first (untimed) run fills serve the timed ones. With
# VELTRIN_COLD_CACHE=1 every run starts with an empty cache, as the first launch on a machine.
# Needs the release build (cmake --preset release && cmake --build --preset release), g++, xvfb,
# dbus-daemon, libxtst-dev.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1600x1000x24" bash "$0" "$@"
fi
# A desktop session has a session bus; without one, every D-Bus client would try to start one.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  VELTRIN_OWN_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
runs=${1:-10}
build=$(realpath "${2:-$root/build/release}")
app=$build/src/app/veltrin
tools=$root/build/startup
mkdir -p "$tools"
g++ -std=c++20 -O2 -fPIC $(pkg-config --cflags Qt6Gui) bench/startup/map_timer.cpp -o "$tools/map_timer" \
  $(pkg-config --libs Qt6Gui) -lX11 -lXtst
g++ -std=c++20 -O2 -fPIC $(pkg-config --cflags Qt6Widgets) bench/startup/bare_window.cpp -o "$tools/bare_window" \
  $(pkg-config --libs Qt6Widgets)
g++ -std=c++23 -O2 -fPIC -Isrc $(pkg-config --cflags Qt6Core libplist-2.0) bench/startup/write_bookmark.cpp \
  -o "$tools/write_bookmark" "$build/src/store/libveltrin_store.a" "$build/src/platform/libveltrin_platform.a" \
  $(pkg-config --libs Qt6Core libplist-2.0)
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/veltrin-startup.XXXXXX")
# The services a bus of our own started for the app (the desktop's portals) would outlive it and
# keep this script's output open.
end_bus_services() {
  [ "${VELTRIN_OWN_BUS:-}" = 1 ] || return 0
  local name pid
  for name in $(dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.ListNames \
      2>/dev/null | awk -F'"' '/string ":/ {print $2}'); do
    pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
      org.freedesktop.DBus.GetConnectionUnixProcessID "string:$name" 2>/dev/null | awk '/uint32/ {print $2}')
    if [ -n "$pid" ] && [ "$pid" != $$ ]; then kill "$pid" 2>/dev/null || true; fi
  done
}
trap 'end_bus_services; rm -rf "$scratch"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# Prints the median, min and max of the numbers on stdin.
summary() { sort -n | awk '{v[NR]=$1} END {m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2; printf "median %.1f  min %.1f  max %.1f  (n=%d)", m, v[1], v[NR], NR}'; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2}'; }

# The preview's first lines (content area, right of the sidebar, below the header), and the
# second and third rows of the sample list, in window coordinates.
watch=${VELTRIN_WATCH:-310,115,420,70}
clicks="$watch@100,155;100,215;100,155"
applog=$scratch/app.log
barelog=$scratch/bare.log
alonelog=$scratch/alone.log
: >"$applog"
: >"$barelog"
: >"$alonelog"
mkdir -p "$scratch/alone"
cp "$app" "$scratch/alone/"
size=""
for run in $(seq 1 "$runs"); do
  home=$scratch/home-$run
  mkdir -p "$home"
  cp -a examples/home/. "$home/"
  cache=$scratch/cache
  if [ "${VELTRIN_COLD_CACHE:-}" = 1 ]; then cache=$home/.cache; fi
  export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$cache
  "$tools/write_bookmark" "$home/Library/Mail/V11/MailData/Signatures"
  if [ -n "$size" ]; then
    "$tools/map_timer" Veltrin 0 - - -- "$tools/bare_window" Veltrin $size >>"$barelog" 2>/dev/null || true
    sleep 0.3
  fi
  "$tools/map_timer" Veltrin 500 "$tools/preview.png" "$clicks" -- "$app" -disableTelemetry >>"$applog" 2>/dev/null || true
  if [ -z "$size" ]; then
    size=$(awk '/^map_ms/ {print $8, $9; exit}' "$applog")
  else
    sleep 0.3
    "$tools/map_timer" Veltrin 1500 - - -- "$scratch/alone/veltrin" -disableTelemetry >>"$alonelog" 2>/dev/null || true
  fi
  rm -rf "$home"
  sleep 0.3
done
# The first app run only found the window size; the bare window had no run beside it.
sed -i '1,/^rss_kb/d' "$applog"
app_ms=$(awk '/^map_ms/ {print $2}' "$applog" | median)
bare_ms=$(awk '/^map_ms/ {print $2}' "$barelog" | median)
echo "window size: $size; caches: $([ "${VELTRIN_COLD_CACHE:-}" = 1 ] && echo "empty at every run" || echo "shared by the runs")"
echo "  first window, app, ms:          $(awk '/^map_ms/ {print $2}' "$applog" | summary)"
echo "  first window, bare Qt, ms:      $(awk '/^map_ms/ {print $2}' "$barelog" | summary)"
echo "  ratio of medians:               $(awk -v a="$app_ms" -v b="$bare_ms" 'BEGIN {printf "%.2f", a/b}') (target <= 1.5)"
echo "  VmRSS at first map, MB:         $(awk '/^at_map_rss_kb/ {print $2/1024}' "$applog" | summary) (target <= 45)"
echo "  VmRSS bare Qt window, MB:       $(awk '/^at_map_rss_kb/ {print $2/1024}' "$barelog" | summary)"
echo "  VmRSS without the module, MB:   $(awk '/^rss_kb/ {print $2/1024}' "$alonelog" | summary) (1.5 s after the map)"
echo "  VmRSS before 1st preview, MB:   $(awk '/^before_rss_kb/ {print $2/1024}' "$applog" | summary) (module loaded)"
echo "  PSS app + helpers before, MB:   $(awk '/^before_rss_kb/ {print $10/1024}' "$applog" | summary) (app and the engine's helpers)"
echo "  click to first paint, 1st, ms:  $(awk '/^click_paint_ms 1 / {print $3}' "$applog" | summary)"
echo "  click to first paint, 2nd, ms:  $(awk '/^click_paint_ms 2 / {print $3}' "$applog" | summary)"
echo "  click to first paint, 3rd, ms:  $(awk '/^click_paint_ms 3 / {print $3}' "$applog" | summary) (the 1st signature again)"
echo "  ratio 1st / 2nd, per run:       $(awk '/^click_paint_ms 1 / {f=$3} /^click_paint_ms 2 / {print f/$3}' "$applog" | summary)"
echo "  ratio 1st / 3rd, per run:       $(awk '/^click_paint_ms 1 / {f=$3} /^click_paint_ms 3 / {print f/$3}' "$applog" | summary) (same signature)"
echo "  PSS app + helpers after, MB:    $(awk '/^rss_kb/ {print $10/1024}' "$applog" | summary)"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
