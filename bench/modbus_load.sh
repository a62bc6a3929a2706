#!/usr/bin/env bash
# Load on the Modbus slave port, run by hand (it is no ctest): mbpoll sends REQUESTS read
# requests (four holding registers each) at BAUD to korvane-run --slave-port modbus over a
# socat pseudo-terminal pair. socat's -v timestamps give each answer's time.
#   bench/modbus_load.sh KORVANE_RUN [REQUESTS] [BAUD]
# Prints the requests sent and answered, wrong or missing answers, requests per second and
# the median and 99th-percentile answer times. Exit 0 when every request was answered right.
set -u
runner=${1:?usage: modbus_load.sh KORVANE_RUN [REQUESTS] [BAUD]}
requests=${2:-10000}
baud=${3:-115200}
here=$(cd "$(dirname "$0")" && pwd)
program="$here/../tests/integration/slave_port.awl"
for tool in socat mbpoll python3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool not installed"; exit 77; }
done
dir=$(mktemp -d)
socat_pid=""; runner_pid=""
cleanup() {
  [ -n "$runner_pid" ] && kill "$runner_pid" 2>/dev/null
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
socat -x -v pty,raw,echo=0,link="$dir/plc" pty,raw,echo=0,link="$dir/peer" 2>"$dir/socat.log" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$dir/plc" ] && [ -e "$dir/peer" ] && break; sleep 0.1; done
"$runner" "$program" --slave-port "modbus,$dir/plc,1,$baud" 2>"$dir/runner.err" &
runner_pid=$!
sleep 1
kill -0 "$runner_pid" 2>/dev/null || { cat "$dir/runner.err"; exit 1; }

# mbpoll polls every address of a list once per run: 1000 times address 1 per run.
per_run=1000
runs=$(( (requests + per_run - 1) / per_run ))
list=$(printf '1,%.0s' $(seq $((per_run - 1))))1
start=$(date +%s.%N)
rc=0
for _ in $(seq "$runs"); do
  mbpoll -m rtu -a "$list" -b "$baud" -P even -0 -t 4 -r 0 -c 4 -1 -o 0.5 "$dir/peer" >>"$dir/mbpoll.out" || rc=1
done
end=$(date +%s.%N)
sent=$((runs * per_run))
python3 - "$dir/socat.log" "$dir/mbpoll.out" "$sent" "$start" "$end" "$rc" <<'EOF'
import re, statistics, sys
log, out, sent, start, end, rc = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6])
# socat -v: "< 2026/12/09 12:07:55.000957076  length=8 ..." ("<" from the peer, ">" from
# korvane-run); the fraction is printed as microseconds padded to nine digits.
stamp = re.compile(r"^([<>]) \S+ (\d+):(\d+):(\d+)\.(\d+)\s+length=(\d+)")
events = []
for line in open(log):
    m = stamp.match(line)
    if m:
        d, h, mi, s, frac, n = m.groups()
        events.append((d, (int(h) * 3600 + int(mi) * 60 + int(s)) + int(frac) / 1e6, int(n)))
answers = []
pending = None
for d, t, n in events:
    if d == "<":
        pending = t
    elif pending is not None:
        answers.append((t - pending) * 1000.0)
        pending = None
text = open(out).read()
polled = text.count("Polling slave")
right = len(re.findall(r"^\[0\]:\s+1111\n\[1\]:\s+2222\n\[2\]:\s+3333\n\[3\]:\s+4444$", text, re.M))
problems = len(re.findall(r"(?i)timeout|error|fail", text))
seconds = end - start
print("requests sent        %d" % sent)
print("requests on the line %d, answers on the line %d" % (sum(1 for e in events if e[0] == "<"), sum(1 for e in events if e[0] == ">")))
print("answered right       %d (polled %d, errors reported %d, mbpoll status %d)" % (right, polled, problems, rc))
print("requests per second  %.0f (%d in %.2f s, mbpoll start-up included)" % (sent / seconds, sent, seconds))
if answers:
    answers.sort()
    print("answer time          median %.3f ms, 99th percentile %.3f ms, max %.3f ms"
          % (statistics.median(answers), answers[int(len(answers) * 0.99) - 1], answers[-1]))
sys.exit(0 if right == sent and problems == 0 and rc == 0 else 1)
EOF
