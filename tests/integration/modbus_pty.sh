#!/usr/bin/env bash
# mbpoll, a real Modbus RTU master, against korvane-run --slave-port modbus over a
# pseudo-terminal pair. The values read must be the program's (slave_port.awl and --set
# inputs); the values written must reach the program's memory (--watch, and the program's
# own copies).
#   tests/integration/modbus_pty.sh KORVANE_RUN
# Exit 0 on success, 77 when socat or mbpoll is missing (skipped).
set -u
runner=${1:?usage: modbus_pty.sh KORVANE_RUN}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/pty_pair.sh"
need_tools socat mbpoll
fail=0
start_pair
start_runner "$here/slave_port.awl" --slave-port "modbus,$dir/plc,1" \
  --set I0.1=1 --set I1.7=1 --set AIW2=5000 --set AIW62=300 \
  --watch VW20,VW40,VW30,VW32,VW34,VW50,VW54,Q1.0,Q1.1,Q2.0,Q2.1,Q2.2

# mb OPTIONS... [-- VALUES...]: the device goes between the options and the values.
mb() {
  local opts=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do opts+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  mbpoll -m rtu -a 1 -b 9600 -P even -0 -1 -o 1 "${opts[@]}" "$dir/peer" "$@"
}
# expect LABEL OUTPUT REF=VALUE...: mbpoll printed "[REF]: VALUE" for each pair.
expect() {
  local label=$1 out=$2; shift 2
  for pair in "$@"; do
    echo "$out" | grep -Eq "^\[${pair%%=*}\]:[[:space:]]+${pair#*=}\$" || {
      echo "$label: no [${pair%%=*}] = ${pair#*=} in:"; echo "$out" | grep '^\['; fail=1; }
  done
}
out=$(mb -t 0 -r 0 -c 3) || { echo "read coils failed"; fail=1; }
expect "coils Q0.0..Q0.2" "$out" 0=1 1=0 2=1
out=$(mb -t 1 -r 0 -c 16) || { echo "read discrete inputs failed"; fail=1; }
expect "inputs I0.0..I1.7" "$out" 0=0 1=1 2=0 14=0 15=1
out=$(mb -t 4 -r 0 -c 4) || { echo "read holding registers failed"; fail=1; }
expect "VW0..VW6" "$out" 0=1111 1=2222 2=3333 3=4444
out=$(mb -t 4:hex -r 50 -c 2) || { echo "read holding registers failed"; fail=1; }
expect "VD100" "$out" 50=0x1122 51=0x3344
out=$(mb -t 3 -r 0 -c 2) || { echo "read input registers failed"; fail=1; }
expect "AIW0, AIW2" "$out" 0=0 1=5000
out=$(mb -t 3 -r 31 -c 1) || { echo "read input register 31 failed"; fail=1; }
expect "AIW62" "$out" 31=300

mb -t 0 -r 8 -- 1 >/dev/null || { echo "write coil failed"; fail=1; }              # Q1.0
mb -t 4 -r 10 -- 4321 >/dev/null || { echo "write register failed"; fail=1; }      # VW20
mb -t 4 -r 15 -- 11 22 33 >/dev/null || { echo "write registers failed"; fail=1; } # VW30..VW34
mb -t 0 -r 16 -- 1 0 1 >/dev/null || { echo "write coils failed"; fail=1; }        # Q2.0..Q2.2
sleep 0.2  # a program pass or more
out=$(mb -t 4 -r 20 -c 1) || { echo "read the program's copy failed"; fail=1; }
expect "VW40 (the program's copy of VW20)" "$out" 20=4321
out=$(mb -t 0 -r 8 -c 2) || { echo "read coils Q1.0, Q1.1 failed"; fail=1; }
expect "Q1.0 and the program's copy Q1.1" "$out" 8=1 9=1

stop_runner
result=$(cat "$dir/runner.out")
for line in VW20=4321 VW40=4321 VW30=11 VW32=22 VW34=33 VW50=11 VW54=33 Q1.0=1 Q1.1=1 Q2.0=1 Q2.1=0 Q2.2=1; do
  echo "$result" | grep -qx "$line" || { echo "korvane-run's memory lacks $line:"; echo "$result"; fail=1; }
done
[ $fail -eq 0 ] && echo "mbpoll: every read and write agreed with the program's memory"
exit $fail
