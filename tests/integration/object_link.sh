#!/usr/bin/env bash
# Serves the object link with korvane-run on loopback and drives it with a real TCP peer:
# describe, 1,000 data messages whose inputs drive the program and whose answers carry its
# outputs, close and reconnect; a refused second connection; the policy request; garbage,
# huge counts and disconnects mid-message, after which the next client is still served; a
# peer that floods the link and never reads.
#   tests/integration/object_link.sh KORVANE_RUN PEER
# Exit 0 on success, 77 when loopback TCP is not available (skipped).
set -u
runner=${1:?usage: object_link.sh KORVANE_RUN PEER}
peer=${2:?usage: object_link.sh KORVANE_RUN PEER}
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
runner_pid=""
cleanup() {
  [ -n "$runner_pid" ] && kill "$runner_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
"$runner" "$here/object_link.awl" --hw "$here/object_link.hd" --period 10 --object-link 0 \
  --link-address 127.0.0.1 --log --watch Q0.0,AQW0 >"$dir/out" 2>"$dir/err" &
runner_pid=$!
. "$here/link_port.sh"
port=$(link_port "$dir/err" "$runner_pid")
if [ -z "$port" ]; then
  cat "$dir/err"
  grep -q "Operation not permitted\|Address family not supported" "$dir/err" && exit 77
  echo "korvane-run did not start its object link"; exit 1
fi
fail=0
for mode in "exchange 1000" second policy abuse "flood 400000 $runner_pid"; do
  # shellcheck disable=SC2086
  if ! "$peer" "$port" $mode; then echo "peer mode '$mode' failed"; fail=1; fi
  kill -0 "$runner_pid" 2>/dev/null || { echo "korvane-run died during '$mode'"; cat "$dir/err"; exit 1; }
done
# A few passes after the last peer has gone, so its inputs no longer drive the outputs.
sleep 0.3
kill -TERM "$runner_pid"
wait "$runner_pid"; status=$?; runner_pid=""
[ "$status" -eq 0 ] || { echo "korvane-run ended with status $status"; fail=1; }
grep -q "有仿真对象连接请求，建立连接。" "$dir/err" || { echo "no accept line in the log"; fail=1; }
grep -q "已经有仿真连接，无法重复建立连接。" "$dir/err" || { echo "no refusal line in the log"; fail=1; }
grep -q "仿真对象已经断开!" "$dir/err" || { echo "no close line in the log"; fail=1; }
grep -q "发送来的数据长度不对" "$dir/err" || { echo "the cut data message was not logged"; fail=1; }
grep -q "仿真对象没有及时读取应答，较早的应答已丢弃。" "$dir/err" || { echo "dropped answers were not logged"; fail=1; }
grep -q "在 127.0.0.1:$port 上监听仿真对象连接。" "$dir/err" || { echo "the listening address was not logged"; fail=1; }
# Once the last object has gone the runner's own inputs (all off) drive the program again.
grep -qx "Q0.0=0" "$dir/out" || { echo "Q0.0 at the end: $(cat "$dir/out")"; fail=1; }
grep -qx "AQW0=0" "$dir/out" || { echo "AQW0 at the end: $(cat "$dir/out")"; fail=1; }
[ $fail -eq 0 ] || tail -20 "$dir/err"
exit $fail
