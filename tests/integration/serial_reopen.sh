#!/usr/bin/env bash
# A serial device that goes away and comes back under the same name: korvane-run serves its
# slave port on one end of a socat pseudo-terminal pair, mbpoll polls the other. socat is
# killed (as an adapter is pulled out) and started again with the same names; korvane-run
# must log the loss, open the device again once it is back, and answer mbpoll again.
#   tests/integration/serial_reopen.sh KORVANE_RUN
# Exit 0 on success, 77 when socat or mbpoll is missing (skipped).
set -u
runner=${1:?usage: serial_reopen.sh KORVANE_RUN}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/pty_pair.sh"
need_tools socat mbpoll
fail=0
read_vw0() {
  mbpoll -m rtu -a 1 -b 9600 -P even -0 -1 -o 1 -t 4 -r 0 -c 1 "$dir/peer" 2>&1 | grep -Eq '^\[0\]:[[:space:]]+1111$'
}
# wait_log TEXT SECONDS: korvane-run's log shows TEXT within the time.
wait_log() {
  for _ in $(seq $(($2 * 10))); do grep -q "$1" "$dir/runner.err" && return 0; sleep 0.1; done
  return 1
}

start_pair
start_runner "$here/slave_port.awl" --slave-port "modbus,$dir/plc,1"
read_vw0 || { echo "the first read went unanswered"; fail=1; }

# The device goes away: its pair and its names.
kill -KILL "$socat_pid"; wait "$socat_pid" 2>/dev/null; socat_pid=""
rm -f "$dir/plc" "$dir/peer"
wait_log "断开" 5 || { echo "korvane-run logged no loss of the line:"; cat "$dir/runner.err"; fail=1; }
sleep 1.2  # a retry or more finds nothing to open
kill -0 "$runner_pid" 2>/dev/null || { echo "korvane-run ended when the device went away"; cat "$dir/runner.err"; exit 1; }

# The device comes back under the same names: a retry (once a second) opens it again.
start_pair
wait_log "已重新打开" 5 || { echo "korvane-run did not open the device again:"; cat "$dir/runner.err"; fail=1; }
ok=0
for _ in 1 2 3; do read_vw0 && { ok=1; break; }; done
[ $ok -eq 1 ] || { echo "mbpoll's reads went unanswered after the device came back"; fail=1; }

stop_runner
[ $fail -eq 0 ] && { echo "the line was lost, logged and reopened:"; grep -E "断开|重新打开" "$dir/runner.err"; }
exit $fail
