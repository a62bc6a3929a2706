#!/usr/bin/env bash
# Soak run, by hand (it is no ctest): korvane-run runs a 1,000-line program in real time for
# SECONDS while both of its served ports are polled: mbpoll reads the Modbus slave port over
# a socat pseudo-terminal pair in a loop, and a plant-model client exchanges data messages on
# the object link. Prints korvane-run's resident set at the start and the end (and every
# minute in between), and the program passes counted by the program itself against the
# nominal count (SECONDS / task period).
#   bench/soak.sh [BUILD_DIR] [SECONDS] [PERIOD_MS]     (defaults build/release 600 50)
# Exit 0 when the resident set grew by at most 1 MB, the passes are within 1 % of the
# nominal count and both peers were answered throughout.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
seconds=${2:-600}
period=${3:-50}
runner=$build/korvane-run
peer=$build/tests/object_link_peer
for tool in socat mbpoll python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool not installed"; exit 77; }
done
[ -x "$runner" ] && [ -x "$peer" ] || { echo "build korvane-run and object_link_peer in $build first"; exit 2; }
[ "$seconds" -ge 20 ] || { echo "SECONDS: 20 or more"; exit 2; }
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

# The program: a pass counter, the object link's plant logic, and blocks of 25 lines of
# moves, compares, word logic and arithmetic that keep the logic result on, up to 1,000
# lines between BEGIN and END.
python3 - "$dir/soak.awl" <<'PY'
import sys
lines = [
    "Network 1 // the program counts its own passes in VD980",
    "LD     SM0.0", "INCD   VD980",
    "Network 2 // the plant: Q0.0 follows I0.0, Q0.1 is the inverse of I0.1, AQW0 follows AIW0",
    "LD     I0.0", "=      Q0.0", "LDN    I0.1", "=      Q0.1", "LD     SM0.0", "MOVW   AIW0, AQW0",
]
n = 0
while len(lines) < 1000:
    b = 24 * (n % 40)
    block = [
        f"Network {n + 3} // block {n}",
        "LD     SM0.0",
        f"MOVW   VW{b}, VW{b + 2}",
        f"MOVB   16#5A, VB{b + 4}",
        f"MOVD   VD{b + 4}, VD{b + 8}",
        f"MOVR   1.5, VD{b + 12}",
        f"AW>=   VW{b + 2}, -32768",
        f"AD<=   VD{b + 8}, 2147483647",
        f"AR<    VD{b + 12}, 1.0E+30",
        f"ANDW   16#0FF0, VW{b}",
        f"ORD    16#00010001, VD{b + 8}",
        f"XORB   16#FF, VB{b + 4}",
        f"SLW    VW{b + 2}, 3",
        f"INCW   VW{b + 16}",
        f"+I     7, VW{b + 18}",
        f"-I     7, VW{b + 18}",
        f"+D     100, VD{b + 20}",
        f"MOVW   VW{b + 16}, VW{b}",
        f"ANDW   16#00FF, VW{b}",
        f"+R     0.25, VD{b + 12}",
        f"*R     2.0, VD{b + 12}",
        f"SQRT   VD{b + 12}, VD{b + 12}",
        f"ITD    VW{b + 16}, VD{b + 8}",
        f"DTR    VD{b + 20}, VD{b + 4}",
        f"ROUND  VD{b + 12}, VD{b + 20}",
    ]
    lines += block[: 1000 - len(lines)]
    n += 1
with open(sys.argv[1], "w") as f:
    f.write("ORGANIZATION_BLOCK MAIN:OB1\nTITLE=Soak: 1000 lines\nBEGIN\n")
    f.write("\n".join(lines) + "\nEND_ORGANIZATION_BLOCK\n")
PY

socat pty,raw,echo=0,link="$dir/plc" pty,raw,echo=0,link="$dir/peer" 2>"$dir/socat.log" &
pids+=($!)
for _ in $(seq 50); do [ -e "$dir/plc" ] && [ -e "$dir/peer" ] && break; sleep 0.1; done
[ -e "$dir/plc" ] || { echo "socat made no pair"; cat "$dir/socat.log"; exit 1; }

"$runner" "$dir/soak.awl" --hw "$root/tests/integration/object_link.hd" --period "$period" \
  --slave-port "modbus,$dir/plc,1" --object-link 0 --link-address 127.0.0.1 \
  --ms $((seconds * 1000)) --watch VD980 >"$dir/runner.out" 2>"$dir/runner.err" &
runner_pid=$!
pids+=($runner_pid)
. "$root/tests/integration/link_port.sh"
port=$(link_port "$dir/runner.err" "$runner_pid")
[ -n "$port" ] || { echo "korvane-run did not serve the object link:"; cat "$dir/runner.err"; exit 1; }

# The peers, for all but the last few seconds of the run.
peer_seconds=$((seconds - 8))
"$peer" "$port" load 50 "$peer_seconds" >"$dir/peer.out" 2>&1 &
peer_pid=$!
pids+=($peer_pid)
timeout "$peer_seconds" mbpoll -m rtu -a 1 -b 9600 -P even -0 -t 4 -r 0 -c 8 -l 100 -o 0.5 "$dir/peer" \
  >"$dir/mbpoll.out" 2>&1 &
pids+=($!)

rss() { awk '/^VmRSS/ {print $2}' "/proc/$runner_pid/status" 2>/dev/null; }
sleep 5
rss_start=$(rss)
echo "korvane-run: ${seconds} s, ${period} ms period, 1000-line program; rss at 5 s: ${rss_start} kB"
t=5
while [ $t -lt $((seconds - 3)) ]; do
  step=$(( seconds - 3 - t < 60 ? seconds - 3 - t : 60 ))
  sleep "$step"; t=$((t + step))
  [ $((t % 60)) -eq 5 ] && echo "  at ${t} s: rss $(rss) kB"
done
rss_end=$(rss)
hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$runner_pid/status" 2>/dev/null)
wait "$runner_pid"; rc=$?
wait "$peer_pid"; peer_rc=$?

passes=$(sed -n 's/^VD980=//p' "$dir/runner.out")
nominal=$((seconds * 1000 / period))
answered=$(grep -c '^\[0\]:' "$dir/mbpoll.out")
failed=$(grep -ci 'failed\|timed out\|error' "$dir/mbpoll.out")
echo "korvane-run: rss at $((seconds - 3)) s: ${rss_end} kB (grew $((rss_end - rss_start)) kB; peak ${hwm} kB); exit $rc"
echo "passes: ${passes:-none} counted, ${nominal} nominal ($(python3 -c "print(f'{(${passes:-0} - $nominal) * 100 / $nominal:+.2f} %')"))"
echo "mbpoll: $answered reads answered, $failed failed"
echo "object link: $(cat "$dir/peer.out")"
ok=0
[ "$rc" -eq 0 ] || { echo "FAIL korvane-run exited with $rc"; cat "$dir/runner.err"; ok=1; }
[ $((rss_end - rss_start)) -le 1024 ] || { echo "FAIL the resident set grew by more than 1 MB"; ok=1; }
[ -n "$passes" ] && [ $(( (passes - nominal) * 100 )) -le "$nominal" ] && [ $(( (nominal - passes) * 100 )) -le "$nominal" ] ||
  { echo "FAIL the passes are not within 1 % of the nominal count"; ok=1; }
[ "$answered" -gt 0 ] && [ "$failed" -eq 0 ] || { echo "FAIL mbpoll was not answered throughout"; ok=1; }
[ "$peer_rc" -eq 0 ] || { echo "FAIL the object link client was not answered throughout"; ok=1; }
exit $ok
