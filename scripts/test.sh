#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (warnings as errors),
# checks the sources with clang-tidy, gives each fuzzer a short run, runs every test, then builds
# the Debian package and checks it with the metadata validators and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-deps.sh
cmake --preset debug
cmake --build --preset debug
bash scripts/tidy.sh
bash scripts/fuzz.sh "${VELTRIN_FUZZ_SECONDS:-12}"
ctest --preset debug
bash scripts/check-package.sh
