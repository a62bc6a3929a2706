#!/bin/bash
# Instructions per pass of the interpreter under callgrind, for a benchmark binary:
#   bench/callgrind_per_pass.sh build/release/bench/bench_bit_logic [benchmark filter]
# Collects only inside Interpreter::RunExec and divides by the number of RunExec calls.
set -eu
bin=$1 filter=${2:-.}
out=$(mktemp)
valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect='korvane::Interpreter::RunExec(int)' \
  "$bin" --benchmark_filter="$filter" --benchmark_min_time=0.05 >/dev/null 2>&1
python3 - "$out" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
total = int(re.search(r'^summary: (\d+)', text, re.M).group(1))
names = dict(re.findall(r'^c?fn=\((\d+)\) (.*)$', text, re.M))
rid = [i for i, n in names.items() if n == 'korvane::Interpreter::RunExec(int)']
calls = 0
lines = text.splitlines()
for i, l in enumerate(lines):
    m = re.match(r'^cfn=\((\d+)\)', l)
    if m and m.group(1) in rid and i + 1 < len(lines) and lines[i + 1].startswith('calls='):
        calls += int(lines[i + 1].split('=')[1].split()[0])
print(f"Ir in RunExec: {total}  calls: {calls}  Ir per pass: {total / max(calls, 1):.0f}")
PY
rm -f "$out"
