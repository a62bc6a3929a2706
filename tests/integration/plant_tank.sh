#!/usr/bin/env bash
# The example plant model against the example program: korvane-run serves the object link
# on loopback with examples/tank_level.awl on the rack of examples/plant/tank.hd; the plant
# runs headless at four times its speed and checks that the level is kept between the
# switches and that the PLC's display follows the sensor.
#   tests/integration/plant_tank.sh KORVANE_RUN KORVANE_PLANT
set -u
runner=${1:?usage: plant_tank.sh KORVANE_RUN KORVANE_PLANT}
plant=${2:?usage: plant_tank.sh KORVANE_RUN KORVANE_PLANT}
examples=$(cd "$(dirname "$0")/../../examples" && pwd)
dir=$(mktemp -d)
runner_pid=""
cleanup() {
  [ -n "$runner_pid" ] && kill "$runner_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
"$runner" "$examples/tank_level.awl" --hw "$examples/plant/tank.hd" --object-link 0 --link-address 127.0.0.1 \
  --log 2>"$dir/err" >/dev/null &
runner_pid=$!
. "$(dirname "$0")/link_port.sh"
port=$(link_port "$dir/err" "$runner_pid")
[ -n "$port" ] || { cat "$dir/err"; echo "korvane-run did not start its object link"; exit 1; }
QT_QPA_PLATFORM=offscreen "$plant" --headless --port "$port" --speed 4 --seconds 12
