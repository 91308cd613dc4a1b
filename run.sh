#!/usr/bin/env bash
# Sets up what is missing, builds, starts the gyro simulator (unless one already runs) and
# opens the tool. The simulator's port is in the tool's port list beside any real adapter.
set -euo pipefail
cd "$(dirname "$0")"

tools/ensure-packages.sh cmake g++ make libgtest-dev libgmock-dev qt6-base-dev fonts-liberation2

cmake --preset default >/dev/null
cmake --build --preset default --target morvane-gyro-tools gyro-sim morvane-gyro-cli sample-firmware

if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
  ports_dir="$XDG_RUNTIME_DIR/morvane-ports"
else
  ports_dir="/tmp/morvane-ports-$(id -u)"
fi
sim_pid=""
if [ -L "$ports_dir/Simulated tq480 gyro" ] && [ -e "$ports_dir/Simulated tq480 gyro" ]; then
  echo "A gyro simulator is already running."
else
  build/bin/gyro-sim 2>/dev/null >/dev/null &
  sim_pid=$!
  # The simulator publishes its port before it prints anything; give it a moment.
  for _ in $(seq 1 50); do
    [ -e "$ports_dir/Simulated tq480 gyro" ] && break
    sleep 0.1
  done
  echo "Gyro simulator started (its port is \"Simulated tq480 gyro\")."
fi
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true' EXIT
echo "A firmware file for the simulated gyro: $PWD/build/sample-firmware/sample-tq480.fwr"

build/bin/morvane-gyro-tools "$@"
