#!/usr/bin/env bash
# Drives the Modbus RTU slave over a pseudo-terminal pair with mbpoll as the master.
#   tests/integration/modbus_pty.sh PATH/TO/modbus_slave_driver
# Needs socat and mbpoll. Exit 0 on success, 77 when a tool is missing (skipped).
set -u
driver=${1:?usage: modbus_pty.sh DRIVER}
for tool in socat mbpoll; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool not installed"; exit 77; }
done
dir=$(mktemp -d)
socat_pid=""; driver_pid=""
cleanup() {
  [ -n "$driver_pid" ] && kill "$driver_pid" 2>/dev/null
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
socat -d -d pty,raw,echo=0,link="$dir/slave" pty,raw,echo=0,link="$dir/master" 2>"$dir/socat.log" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$dir/slave" ] && [ -e "$dir/master" ] && break; sleep 0.1; done
"$driver" "$dir/slave" 1 6 >"$dir/driver.out" &
driver_pid=$!
sleep 0.3
fail=0
# mb OPTIONS... [-- VALUES...]: the device goes between the options and the values.
mb() {
  local opts=() vals=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do opts+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  vals=("$@")
  mbpoll -m rtu -a 1 -b 9600 -P even -0 -1 -o 1 "${opts[@]}" "$dir/master" "${vals[@]}"
}
out=$(mb -t 4 -r 0 -c 4) || { echo "read holding registers failed"; fail=1; }
for pair in "0\]:[[:space:]]*1111" "1\]:[[:space:]]*2222" "2\]:[[:space:]]*3333" "3\]:[[:space:]]*4444"; do
  echo "$out" | grep -q "^\[$pair" || { echo "missing $pair in: $out"; fail=1; }
done
out=$(mb -t 0 -r 0 -c 3) || { echo "read coils failed"; fail=1; }
echo "$out" | grep -q "^\[2\]:[[:space:]]*1" || { echo "coil 2 not on: $out"; fail=1; }
mb -t 4 -r 10 -- 4321 >/dev/null || { echo "write register failed"; fail=1; }  # register 10 is VW20
mb -t 0 -r 8 -- 1 >/dev/null || { echo "write coil failed"; fail=1; }
wait "$driver_pid"; driver_pid=""
result=$(cat "$dir/driver.out")
echo "driver: $result"
echo "$result" | grep -q "VW20=4321" || { echo "register 10 not written"; fail=1; }
echo "$result" | grep -q "Q1.0=1" || { echo "coil 8 not written"; fail=1; }
exit $fail
