#!/usr/bin/env bash
# The master port of korvane-run against real peers over pseudo-terminal pairs.
#   tests/integration/master_pty.sh CASE KORVANE_RUN [PEER]
# CASE is one of
#   modbus  PEER is modbus_rtu_peer (libmodbus slave); the program calls MBUS_CTRL/MBUS_MSG
#   ppi     a second korvane-run serves the PPI slave; the program uses NETR/NETW
#   uss     PEER is uss_drive_peer (a drive emulator); the program calls USS_INIT/USS_CTRL
#   free    socat echoes what XMT sends; RCV takes it back
# Needs socat. Exit 0 on success, 77 when a tool is missing (skipped).
set -u
case_name=${1:?usage: master_pty.sh CASE KORVANE_RUN [PEER]}
runner=${2:?usage: master_pty.sh CASE KORVANE_RUN [PEER]}
peer=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
command -v socat >/dev/null || { echo "skipped: socat not installed"; exit 77; }
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
wait_for() { for _ in $(seq 50); do [ -e "$1" ] && return 0; sleep 0.1; done; return 1; }
pair() {  # a pty pair $dir/$1 <-> $dir/$2
  socat -d -d pty,raw,echo=0,link="$dir/$1" pty,raw,echo=0,link="$dir/$2" 2>"$dir/socat_$1.log" &
  pids+=($!)
  wait_for "$dir/$1" && wait_for "$dir/$2"
}
fail=0
expect() {  # expect OUTPUT PATTERN...: every pattern (a grep -E expression) is in OUTPUT
  local out=$1; shift
  for pat in "$@"; do
    echo "$out" | grep -Eq -- "$pat" || { echo "missing '$pat'"; fail=1; }
  done
}

case $case_name in
modbus)
  pair plc peer
  "$peer" "$dir/peer" 1 6 >"$dir/peer.out" 2>&1 &
  peer_pid=$!; pids+=($peer_pid)
  sleep 0.3
  out=$("$runner" "$here/modbus_master.awl" --master-port "modbus,$dir/plc" --ms 3000 \
        --watch MB10,MB20,MB21,MB22,MB23,MB24,MB25,VW100:x,VW102:x,VW104:x,VW106:x,VB200:x,VW400:x,VW402:x 2>&1)
  echo "korvane-run:" $out
  wait "$peer_pid"
  peer_out=$(cat "$dir/peer.out")
  echo "peer: $peer_out"
  expect "$out" "MB10=6\b" "MB20=0\b" "MB21=0\b" "MB22=0\b" "MB23=0\b" "MB24=0\b" "MB25=0\b" \
         "VW100:x=16#1111" "VW102:x=16#2222" "VW104:x=16#3333" "VW106:x=16#4444" "VB200:x=16#A5" \
         "VW400:x=16#0102" "VW402:x=16#0304"
  expect "$peer_out" "served=6" "R10=1111 R11=2222 R12=3333 R13=4444" "R20=BEEF" "C16=A5"
  ;;
ppi)
  pair plc station
  "$runner" "$here/ppi_station.awl" --slave-port "ppi,$dir/station,2" --ms 4000 --watch VW150:x \
    >"$dir/station.out" 2>&1 &
  station_pid=$!; pids+=($station_pid)
  sleep 0.5
  out=$("$runner" "$here/ppi_master.awl" --master-port "ppi,$dir/plc,1" --ms 2000 \
        --watch VB200:x,VD207:x,VB300:x 2>&1)
  echo "master:" $out
  wait "$station_pid"
  station_out=$(cat "$dir/station.out")
  echo "station:" $station_out
  # Done without error (16#80) for both requests; the data read, and the word written.
  expect "$out" "VB200:x=16#80" "VD207:x=16#11223344" "VB300:x=16#80"
  expect "$station_out" "VW150:x=16#ABCD"
  ;;
uss)
  pair plc drive
  "$peer" "$dir/drive" 0 4B34 3 >"$dir/drive.out" 2>&1 &
  drive_pid=$!; pids+=($drive_pid)
  sleep 0.3
  out=$("$runner" "$here/uss_master.awl" --master-port "uss,$dir/plc" --ms 2000 \
        --watch VW20:x,VW26:x,MB2,M1.1,M1.2,M1.4,MB4,VW50 2>&1)
  echo "master:" $out
  wait "$drive_pid"
  drive_out=$(cat "$dir/drive.out")
  echo "drive:" $drive_out
  # Drive 0 answers: its status word, its speed (the setpoint echoed), Run_EN and D_Dir
  # from the status, Error 0 and Resp_R pulses; drive 1 never answers: Error 1.
  expect "$out" "VW20:x=16#4B34" "VW26:x=16#4000" "MB2=0\b" "M1.1=1" "M1.2=1" "M1.4=0" "MB4=1\b" \
         "VW50=([1-9][0-9]+)"
  expect "$drive_out" "answered=[1-9]" "control=0C7F" "setpoint=4000"
  ;;
free)
  # The far end echoes every byte back.
  socat -d -d pty,raw,echo=0,link="$dir/plc" EXEC:cat 2>"$dir/socat_echo.log" &
  pids+=($!)
  wait_for "$dir/plc"
  out=$("$runner" "$here/free_port.awl" --master-port "free,$dir/plc" --ms 1000 \
        --watch VB200,VD201:x,VB205:x,SM4.5,SM86.1,SM86.2,SM86.7 2>&1)
  echo "korvane-run:" $out
  # The whole message in one piece: count 5, HELLO, taken (SM86.2, SM86.7), not cut.
  expect "$out" "VB200=5\b" "VD201:x=16#48454C4C" "VB205:x=16#4F" "SM4.5=1" "SM86.1=0" "SM86.2=1" "SM86.7=1"
  ;;
*)
  echo "unknown case $case_name"; exit 2 ;;
esac
exit $fail
