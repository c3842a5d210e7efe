#!/usr/bin/env bash
# Runs some functions of a test binary as an ordinary user, where permissions hold: as root
# (as in CI) through setpriv as nobody, on a copy of the binary that user can run. A skipped
# function fails the run, since these must really run.
set -euo pipefail
binary=$1
shift
if [[ $(id -u) -ne 0 ]]; then
    output=$("$binary" "$@" 2>&1) || { printf '%s\n' "$output"; exit 1; }
else
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    chmod 755 "$scratch"
    cp "$binary" "$scratch/"
    mkdir "$scratch/home"
    chown 65534:65534 "$scratch/home"
    output=$(cd "$scratch/home" && HOME="$scratch/home" TMPDIR="$scratch/home" XDG_RUNTIME_DIR= \
        setpriv --reuid=65534 --regid=65534 --clear-groups "$scratch/$(basename "$binary")" "$@" 2>&1) \
        || { printf '%s\n' "$output"; exit 1; }
fi
printf '%s\n' "$output"
if grep -q '^SKIP' <<<"$output"; then
    echo "run-unprivileged: a function was skipped" >&2
    exit 1
fi
