#!/bin/bash
# Runs a command with an Xvfb display of its own, for Windows programs that open windows under
# Wine: with_xvfb.sh COMMAND [ARG]...
set -u
command -v Xvfb > /dev/null || { echo "FAIL: Xvfb is missing (apt-get install xvfb)"; exit 1; }
DISPLAY_FILE=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$DISPLAY_FILE" 2> /dev/null &
XVFB_PID=$!
# Wine's server for the prefix (WINEPREFIX) goes with the display it was started on.
trap 'wineserver -k 2>/dev/null; kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null
      rm -f "$DISPLAY_FILE"' EXIT
for _ in $(seq 100); do [ -s "$DISPLAY_FILE" ] && break; sleep 0.1; done
[ -s "$DISPLAY_FILE" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
DISPLAY=:$(head -n 1 "$DISPLAY_FILE") "$@"
