# Shared by the slave-port tests: a socat pseudo-terminal pair and a korvane-run serving one
# end. Source it, then: need_tools TOOL...; start_pair; start_runner ARGS...; stop_runner.
# $dir/plc is korvane-run's end, $dir/peer the test's end.
dir=$(mktemp -d)
socat_pid=""; runner_pid=""
need_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool not installed"; exit 77; }
  done
}
cleanup() {
  [ -n "$runner_pid" ] && kill "$runner_pid" 2>/dev/null
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
start_pair() {
  socat -d -d pty,raw,echo=0,link="$dir/plc" pty,raw,echo=0,link="$dir/peer" 2>"$dir/socat.log" &
  socat_pid=$!
  for _ in $(seq 50); do [ -e "$dir/plc" ] && [ -e "$dir/peer" ] && break; sleep 0.1; done
  [ -e "$dir/plc" ] || { echo "socat made no pair"; cat "$dir/socat.log"; exit 1; }
}
# Starts korvane-run with the given options; waits until it has opened its end.
start_runner() {
  "$runner" "$@" >"$dir/runner.out" 2>"$dir/runner.err" &
  runner_pid=$!
  local pts; pts=$(readlink -f "$dir/plc")
  for _ in $(seq 100); do
    kill -0 "$runner_pid" 2>/dev/null || { echo "korvane-run ended:"; cat "$dir/runner.err"; exit 1; }
    # Open once korvane-run holds the device among its files.
    if [ -d "/proc/$runner_pid/fd" ]; then
      for fd in /proc/"$runner_pid"/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$pts" ] && { sleep 0.05; return 0; }
      done
    else
      sleep 0.5; return 0
    fi
    sleep 0.05
  done
  echo "korvane-run did not open $dir/plc"; exit 1
}
# Stops korvane-run with SIGTERM; it must exit 0 and print its --watch values.
stop_runner() {
  kill -TERM "$runner_pid"
  wait "$runner_pid"; local rc=$?
  runner_pid=""
  [ "$rc" -eq 0 ] || { echo "korvane-run exited with $rc after SIGTERM"; cat "$dir/runner.err"; fail=1; }
}
