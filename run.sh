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
if [ -L "$ports_dir/Simulated tq480 gyro" ] && [ -c "$ports_dir/Simulated tq480 gyro" ]; then
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

# The first run selects the simulator's port, so that the first Read reaches it. The tool keeps
# its settings file beside itself (build/bin is writable); a file that exists is the pilot's and
# stays as it is. Asking the command-line tool for the list creates the file with the first
# entry, so the simulator's number is written after it, aside and renamed.
settings=build/bin/morvane.ini
if [ ! -e "$settings" ]; then
  sim_port=$(build/bin/morvane-gyro-cli ports 2>/dev/null |
    sed -n 's/^COM\([1-9][0-9]*\):(Simulated tq480 gyro)$/\1/p' | head -n 1)
  if [ -n "$sim_port" ]; then
    printf '%s' "$sim_port" >"$settings.new.$$"
    mv -f "$settings.new.$$" "$settings"
    echo "First run: the simulator's port COM$sim_port is selected."
  fi
fi
echo "A firmware file for the simulated gyro: $PWD/build/sample-firmware/sample-tq480.fwr"

build/bin/morvane-gyro-tools "$@"
