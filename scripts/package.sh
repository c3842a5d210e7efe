#!/usr/bin/env bash
# Builds the release application into a Debian package and installs it.
# With --build-only it stops after building the package (CI uses that).
set -euo pipefail
cd "$(dirname "$0")/.."
install=yes
[ "${1:-}" = "--build-only" ] && install=no
bash scripts/ensure-deps.sh
cmake --preset release
cmake --build --preset release
(cd build/release && cpack -G DEB)
package=$(ls -t build/release/veltrin_*.deb | head -n 1)
echo "Package: $package"
[ "$install" = no ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Install it with:" >&2
  echo "  sudo apt-get install -y ./$package" >&2
  exit 1
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$package"
