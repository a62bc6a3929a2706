#!/usr/bin/env bash
# An idle korvane-run serving its slave port (on a socat pseudo-terminal pair) and the object
# link sleeps between its firings: with no peer talking, it takes under 5 % of a core (its
# processor time over three seconds, from /proc; about 1 % in a debug build), where a loop
# that polls without sleeping takes all the processor it is given.
#   tests/integration/idle_cpu.sh KORVANE_RUN
# Exit 0 on success, 77 when socat is missing or there is no /proc (skipped).
set -u
runner=${1:?usage: idle_cpu.sh KORVANE_RUN}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/pty_pair.sh"
need_tools socat
[ -r /proc/self/stat ] || { echo "skipped: no /proc"; exit 77; }
fail=0
# ticks PID: user plus system time in clock ticks (after the name, which may hold blanks).
ticks() { local s; s=$(cat "/proc/$1/stat") && s=${s##*) } && set -- $s && echo $((${12} + ${13})); }

start_pair
start_runner "$here/slave_port.awl" --slave-port "modbus,$dir/plc,1" --object-link 0 --link-address 127.0.0.1
sleep 1
t0=$(ticks "$runner_pid"); s0=$(date +%s%N)
sleep 3
t1=$(ticks "$runner_pid"); s1=$(date +%s%N)
hz=$(getconf CLK_TCK)
# Per mille of a core: ticks / hz over the wall time.
permille=$(( (t1 - t0) * 1000 * 1000000000 / hz / (s1 - s0) ))
echo "idle korvane-run: $((t1 - t0)) ticks of 1/$hz s in $(( (s1 - s0) / 1000000 )) ms: ${permille} per mille of a core"
[ "$permille" -lt 50 ] || { echo "an idle runner must take under 50 per mille of a core"; fail=1; }
stop_runner
exit $fail
