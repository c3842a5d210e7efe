#!/usr/bin/env bash
# Runs a test binary in a network namespace of its own, as a user's machine would meet servers:
# the namespace's loopback device also carries public documentation addresses (203.0.113.5,
# 198.51.100.7, 192.0.2.10), a private (10.20.30.40) and a link-local one (169.254.7.7), so that
# the test can stand servers there and nothing leaves the machine. The process may hold 1024
# descriptors, as an ordinary user's may. Needs root for the namespace: elsewhere the run is
# skipped with the reason, but under CI (CI=true) a skip fails, as does a skipped function.
set -euo pipefail
binary=$1
shift
if [[ $(id -u) -ne 0 ]]; then
    if [[ ${CI:-} == true ]]; then
        echo "run-in-netns: needs root for a network namespace, and CI must run it" >&2
        exit 1
    fi
    echo "SKIP: needs root for a network namespace of its own (unshare -n)"
    exit 77
fi
output=$(unshare --net bash -c '
    set -e
    ip link set lo up
    for address in 203.0.113.5 198.51.100.7 192.0.2.10 10.20.30.40 169.254.7.7; do
        ip addr add "$address/32" dev lo
    done
    ulimit -n 1024
    exec "$@"' run-in-netns "$binary" "$@" 2>&1) || { printf '%s\n' "$output"; exit 1; }
printf '%s\n' "$output"
if grep -q '^SKIP' <<<"$output"; then
    echo "run-in-netns: a function was skipped" >&2
    exit 1
fi
