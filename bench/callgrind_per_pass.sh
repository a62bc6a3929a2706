#!/bin/bash
# Instructions per pass of the interpreter under callgrind, for a benchmark binary:
#   bench/callgrind_per_pass.sh build/release/bench/bench_bit_logic [benchmark filter] [function]
# Collects only inside the function (default Interpreter::RunExec; a pattern such as '*name*'
# matches too) and divides by its calls. The function must not be inlined into its caller.
set -eu
bin=$1 filter=${2:-.} fn=${3:-'korvane::Interpreter::RunExec(int)'}
out=$(mktemp)
valgrind --tool=callgrind --callgrind-out-file="$out" --toggle-collect="$fn" \
  "$bin" --benchmark_filter="$filter" --benchmark_min_time=0.05 >/dev/null 2>&1
python3 - "$out" "$fn" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
total = int(re.search(r'^summary: (\d+)', text, re.M).group(1))
names = dict(re.findall(r'^c?fn=\((\d+)\) (.*)$', text, re.M))
import fnmatch
rid = [i for i, n in names.items() if fnmatch.fnmatchcase(n, sys.argv[2])]
calls = 0
lines = text.splitlines()
for i, l in enumerate(lines):
    m = re.match(r'^cfn=\((\d+)\)', l)
    if m and m.group(1) in rid and i + 1 < len(lines) and lines[i + 1].startswith('calls='):
        calls += int(lines[i + 1].split('=')[1].split()[0])
print(f"Ir in {sys.argv[2]}: {total}  calls: {calls}  Ir per pass: {total / max(calls, 1):.0f}")
PY
rm -f "$out"
