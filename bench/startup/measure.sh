#!/usr/bin/env bash
# Start-up time (fork to the main window mapped) and resident memory of the release build, on
# scratch copies of examples/home, under Xvfb.
#
#   bash bench/startup/measure.sh [RUNS]      (default 10 runs per case)
#
# Cases: "onboarding" (no bookmark yet), "list" (a bookmark of the sample folder stored first),
# "preview" (as list, then a click on the second signature so the web preview is up).
# Needs the release build (cmake --preset release && cmake --build --preset release), g++, xvfb, xdotool.
# A screenshot of the last run of each case is left in build/startup/CASE.png.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1600x1000x24" bash "$0" "$@"
fi
runs=${1:-10}
app=$root/build/release/src/app/veltrin
tools=$root/build/startup
mkdir -p "$tools"
g++ -std=c++20 -O2 -fPIC $(pkg-config --cflags Qt6Gui) bench/startup/map_timer.cpp -o "$tools/map_timer" \
  $(pkg-config --libs Qt6Gui) -lX11
g++ -std=c++23 -O2 -fPIC -Isrc $(pkg-config --cflags Qt6Core libplist-2.0) bench/startup/write_bookmark.cpp \
  -o "$tools/write_bookmark" build/release/src/store/libveltrin_store.a build/release/src/platform/libveltrin_platform.a \
  $(pkg-config --libs Qt6Core libplist-2.0)
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/veltrin-startup.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# Prints the median, min and max of the numbers on stdin.
summary() { sort -n | awk '{v[NR]=$1} END {m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2; printf "median %.0f  min %.0f  max %.0f  (n=%d)", m, v[1], v[NR], NR}'; }

for case in onboarding list preview; do
  log=$scratch/$case.log
  : >"$log"
  for run in $(seq 1 "$runs"); do
    home=$scratch/$case-$run
    mkdir -p "$home"
    cp -a examples/home/. "$home/"
    export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache
    if [ "$case" != onboarding ]; then
      "$tools/write_bookmark" "$home/Library/Mail/V11/MailData/Signatures"
    fi
    action=-
    # The second row of the sample list, in window coordinates.
    [ "$case" = preview ] && action='xdotool mousemove --window $WID 100 155 click 1'
    "$tools/map_timer" Veltrin 3000 "$tools/$case.png" "$action" -- "$app" -disableTelemetry >>"$log" 2>/dev/null || true
    rm -rf "$home"
    sleep 0.5
  done
  echo "== $case"
  echo "  first window, ms:       $(awk '/^map_ms/ {print $2}' "$log" | summary)"
  echo "  main-thread CPU, ms:    $(awk '/^map_ms/ {print $6}' "$log" | summary)"
  echo "  VmRSS app, MB:          $(awk '/^rss_kb/ {print $2/1024}' "$log" | summary)"
  echo "  processes:              $(awk '/^rss_kb/ {print $6}' "$log" | summary)"
  echo "  PSS app + helpers, MB:  $(awk '/^rss_kb/ {print $10/1024}' "$log" | summary)"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
