#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over our own sources (not moc output), using the
# debug build's compile commands. Fails when it reports anything.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-deps.sh
[ -f build/debug/compile_commands.json ] || cmake --preset debug
cmake --build --preset debug
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# clang 16 spells C++23 as c++2b and, like libstdc++ 12 expects, must be told that it has
# C++20 concepts in full before <expected> shows up.
run-clang-tidy-16 -quiet -p build/debug -j "$(nproc)" \
  -extra-arg=-std=c++2b -extra-arg=-U__cpp_concepts -extra-arg=-D__cpp_concepts=202002L \
  "^$(pwd)/(src|tests|bench|fuzz)/.*\.cpp\$" >"$log" 2>&1 || true
if grep -E "(warning|error):" "$log" | grep -v -e "^$(pwd)/build/" -e "^/usr/" | sort -u | grep .; then
  echo "clang-tidy reported the findings above" >&2
  exit 1
fi
echo "clang-tidy: clean"
