#!/bin/bash
# First load of a 10,000-line program in a fresh process: korvane-run --check, run 20 times,
# wall time per run (milliseconds: median and minimum) and the peak resident size.
#   bench/first_load.sh build/release [runner]
# The runner defaults to the build's korvane-run; give another one to time it on the same file.
set -eu
build=$1
runner=${2:-$build/korvane-run}
prog=$(mktemp --suffix=.awl)
"$build/bench/trace_programs" --export 10000 > "$prog"
times=()
for i in $(seq 20); do
  s=$(date +%s%N)
  "$runner" --check "$prog" > /dev/null 2>&1 || true
  e=$(date +%s%N)
  times+=($(( (e - s) / 1000 )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "first load of 10k lines: median $((sorted[10] / 1000)).$(( (sorted[10] % 1000) / 100 )) ms, min $((sorted[0] / 1000)).$(( (sorted[0] % 1000) / 100 )) ms"
/usr/bin/time -f 'peak RSS %M KB, %R page faults, %e s' "$runner" --check "$prog" > /dev/null 2>/tmp/first_load_time.$$ || true
tail -1 /tmp/first_load_time.$$
rm -f /tmp/first_load_time.$$
rm -f "$prog"
