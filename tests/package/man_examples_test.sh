#!/usr/bin/env bash
# The EXAMPLES of a manual page, or the command lines of the README's command-line part, run
# as written, each in a shell of its own, against two simulated gyros that hold COM1 and COM2,
# with the sample firmware file as new.fwr and the programs also as build/bin/. A command that
# runs until interrupted (ports --watch) is interrupted after 2 s and must then end with 0.
#   man_examples_test.sh BIN_DIR PAGE|README.md SAMPLE_FIRMWARE
set -euo pipefail
bin=$(cd "$1" && pwd) page=$2 firmware=$3
scratch=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export PATH="$bin:$PATH" XDG_RUNTIME_DIR="$scratch/run" XDG_STATE_HOME="$scratch/state"
export XDG_CONFIG_HOME="$scratch/config"
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_CONFIG_HOME/morvane" "$scratch/work"
# The simulators' numbers, remembered as a pilot's own gyros would be.
printf '1\tpublished:Example gyro one\n2\tpublished:Example gyro two\n' \
  >"$XDG_CONFIG_HOME/morvane/com-ports"
for n in one two; do
  gyro-sim --name "Example gyro $n" --memory "$scratch/memory-$n" >"$scratch/sim-$n.out" \
    2>"$scratch/sim-$n.log" &
  sims+=($!)
done
for n in one two; do
  for _ in $(seq 100); do [ -s "$scratch/sim-$n.out" ] && break; sleep 0.05; done
  [ -s "$scratch/sim-$n.out" ] || fail "gyro-sim $n did not start"
done
morvane-gyro-cli ports | grep -qx 'COM1:(Example gyro one)' || fail "$(morvane-gyro-cli ports)"
cp "$firmware" "$scratch/work/new.fwr"
mkdir "$scratch/work/build"
ln -s "$bin" "$scratch/work/build/bin"

# Each .EX/.EE block of the EXAMPLES section, the escapes of man(7) undone.
awk '/^\.SH /{ex = ($0 == ".SH EXAMPLES")} ex && /^\.EE/{n++; print "" > f; close(f); inblock = 0}
     ex && inblock {gsub(/\\-/, "-"); gsub(/\\e/, "\\"); print > f}
     ex && /^\.EX/{inblock = 1; f = sprintf("'"$scratch"'/example-%02d.sh", n + 1)}' "$page"
# In the README: each line of the sh blocks of "From the command line" that runs the companion.
awk -v dir="$scratch" '/^##/{part = ($0 == "### From the command line")} part && /^```/{sh = !sh; next}
     part && sh && /morvane-gyro-cli/{f = sprintf("%s/example-%02d.sh", dir, ++n); print > f; close(f)}' \
  "$page"
examples=("$scratch"/example-*.sh)
[ -s "${examples[0]}" ] || fail "no examples in $page"
commands=$(morvane-gyro-cli --help)
ran=0
for example in "${examples[@]}"; do
  command=$(grep -o 'morvane-gyro-cli [a-z]*' "$example" | head -1 | cut -d' ' -f2)
  if ! grep -q "^  $command " <<<"$commands"; then
    echo "SKIP (no '$command' command): $(head -1 "$example")"
    continue
  fi
  echo "RUN: $(cat "$example")"
  status=0
  limit=()
  grep -q -- '--watch' "$example" && limit=(timeout --preserve-status -s INT 2)
  (cd "$scratch/work" && "${limit[@]}" bash -e "$example") >"$scratch/out" 2>"$scratch/err" ||
    status=$?
  [ $status -eq 0 ] || fail "$(cat "$example"): status $status: $(cat "$scratch/err")"
  ran=$((ran + 1))
done
[ -s "$scratch/work/my-gyro.txt" ] || fail "the backup example wrote no my-gyro.txt"
echo "$ran of ${#examples[@]} examples ran"
