#!/usr/bin/env bash
# Checks the desktop metadata and the Debian package: validators, lintian, and a start and
# quit of the unpacked tree.
set -euo pipefail
cd "$(dirname "$0")/.."
desktop-file-validate data/org.veltrin.Veltrin.desktop
appstreamcli validate --no-net data/org.veltrin.Veltrin.metainfo.xml

bash scripts/package.sh --build-only
package=$(ls -t build/release/veltrin_*.deb | head -n 1)
# Errors fail the check; warnings are shown.
lintian --fail-on error --no-tag-display-limit "$package"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/veltrin-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$package" "$scratch/root"
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
binary="$scratch/root/usr/bin/veltrin"
[ -x "$binary" ]
[ -f "$scratch/root/usr/share/applications/org.veltrin.Veltrin.desktop" ]
[ -f "$scratch/root/usr/share/icons/hicolor/scalable/apps/org.veltrin.Veltrin.svg" ]
[ -f "$scratch/root/usr/share/icons/hicolor/256x256/apps/org.veltrin.Veltrin.png" ]
[ -f "$scratch/root/usr/share/metainfo/org.veltrin.Veltrin.metainfo.xml" ]
[ -f "$scratch/root/usr/lib/veltrin/veltrin-preview.so" ] || { echo "the package has no preview module" >&2; exit 1; }

if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" \
  XDG_CACHE_HOME="$scratch/home/.cache" XDG_RUNTIME_DIR="$scratch/runtime" QT_QPA_PLATFORM=offscreen \
  VELTRIN_EVENTS_ENDPOINT="http://127.0.0.1:9/v1/events" \
  "$binary" &
pid=$!
# The instance socket appears once start-up has got that far; then the window follows at once.
for _ in $(seq 300); do
  [ -S "$scratch/runtime/org.veltrin.Veltrin.socket" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[ -S "$scratch/runtime/org.veltrin.Veltrin.socket" ] || { echo "the installed application did not start" >&2; exit 1; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "the installed application quit with status $status" >&2; exit 1; }
echo "Installed tree starts and quits cleanly."
