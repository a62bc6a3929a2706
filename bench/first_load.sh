#!/bin/bash
# First load of a 10,000-line program in a fresh process: korvane-run --check, 200 runs, wall
# and CPU time (milliseconds: median, minimum, 90th percentile), and beside it what the
# machine takes to start a process that does nothing and to load a 3-line program; then the
# peak resident size and page faults of one load.
#   bench/first_load.sh build/release [runner]
# The runner defaults to the build's korvane-run; give another one to time it on the same file.
set -eu
build=$1
runner=${2:-$build/korvane-run}
prog=$(mktemp --suffix=.awl)
small=$(mktemp --suffix=.awl)
"$build/bench/trace_programs" --export 10000 > "$prog"
printf 'NETWORK 1\nLD I0.0\n= Q0.0\n' > "$small"
echo "a process that does nothing:  $("$build/bench/spawn_times" 200 /bin/true)"
echo "first load of 3 lines:        $("$build/bench/spawn_times" 200 "$runner" --check "$small")"
echo "first load of 10,000 lines:   $("$build/bench/spawn_times" 200 "$runner" --check "$prog")"
/usr/bin/time -f 'peak RSS %M KB, %R page faults' "$runner" --check "$prog" > /dev/null 2>/tmp/first_load_time.$$ || true
tail -1 /tmp/first_load_time.$$
rm -f /tmp/first_load_time.$$ "$prog" "$small"
