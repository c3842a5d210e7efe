#!/usr/bin/env bash
# Builds the release application and opens it on a scratch copy of the sample home folder,
# so that the run never writes into the checkout or the user's own Mail folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-deps.sh
cmake --preset release
cmake --build --preset release
home=$(mktemp -d "${TMPDIR:-/tmp}/veltrin-home.XXXXXX")
cp -a examples/home/. "$home/"
echo "Scratch home folder: $home"
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
  exec ./build/release/src/app/veltrin "$@"
