#!/usr/bin/env bash
# Load check of the object link, run by hand: korvane-run serves the link on loopback and
# a peer sends RATE data messages a second for SECONDS seconds; every message must be
# answered, in order. Prints the peer's figures (rate reached, latency).
#   bench/object_link_load.sh [BUILD_DIR] [RATE] [SECONDS]     (defaults build/release 1000 10)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
rate=${2:-1000}
seconds=${3:-10}
dir=$(mktemp -d)
"$build/korvane-run" "$root/tests/integration/object_link.awl" --hw "$root/tests/integration/object_link.hd" \
  --object-link 0 --link-address 127.0.0.1 2>"$dir/err" >/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
. "$root/tests/integration/link_port.sh"
port=$(link_port "$dir/err" "$pid")
[ -n "$port" ] || { cat "$dir/err"; exit 1; }
"$build/tests/object_link_peer" "$port" load "$rate" "$seconds"
ps -o rss=,time= -p "$pid" | awk '{print "korvane-run: rss " $1 " kB, cpu time " $2}'
