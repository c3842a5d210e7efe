#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given number of seconds (default 60)
# on a scratch copy of its seed corpus in fuzz/corpus/<name>. Fails on the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/ensure-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrin-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] && [ -f "$fuzzer" ] || continue
  name=$(basename "$fuzzer"); name=${name#fuzz_}
  mkdir -p "$work/$name"
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/$name/"
  echo "== $name: ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=65536 \
    -artifact_prefix="$work/$name-" -print_final_stats=1 "$work/$name" 2>"$work/$name.log" || {
      tail -60 "$work/$name.log"; mkdir -p build/fuzz-findings; cp "$work/$name"-* build/fuzz-findings/ 2>/dev/null || true
      echo "fuzz_$name found a failure; inputs kept in build/fuzz-findings" >&2; exit 1; }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/$name.log" | tr '\n' ' '; echo
done
