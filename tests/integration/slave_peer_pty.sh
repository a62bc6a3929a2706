#!/usr/bin/env bash
# serial_peer.py against korvane-run --slave-port over a pseudo-terminal pair.
#   tests/integration/slave_peer_pty.sh KORVANE_RUN PROTOCOL BAUD MODE [MODE_ARG]
# MODE bytewise (MODE_ARG: ms between bytes), noise (MODE_ARG: requests) or ppi.
# Exit 0 on success, 77 when socat or python3 is missing (skipped).
set -u
runner=${1:?usage: slave_peer_pty.sh KORVANE_RUN PROTOCOL BAUD MODE [ARG]}
protocol=$2 baud=$3 mode=$4 arg=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/pty_pair.sh"
need_tools socat python3
fail=0
start_pair
start_runner "$here/slave_port.awl" --slave-port "$protocol,$dir/plc,2,$baud" --watch VW60,VB200,M0.3
python3 "$here/serial_peer.py" "$mode" "$dir/peer" 2 "$baud" $arg || fail=1
stop_runner
exit $fail
