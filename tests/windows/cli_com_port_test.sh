#!/bin/bash
# The Windows morvane-gyro-cli.exe under Wine against the Linux gyro-sim on a pseudo-terminal,
# mapped to COM5 the way Wine maps serial ports (HKLM\Software\Wine\Ports, from which Wine
# makes the dosdevices link and the SERIALCOMM entry at its start). What the Windows program
# reads, stores and flashes is checked with literal expectations and against the Linux
# morvane-gyro-cli on the same simulated gyro.
#
# cli_com_port_test.sh WINDOWS_CLI_EXE LINUX_BIN_DIR WINE
set -u
WIN_CLI=$(realpath "$1")
LINUX_BIN=$(realpath "$2")
WINE=$3
WINESERVER=$(dirname "$WINE")/wineserver
for program in gyro-sim make-fwr morvane-gyro-cli; do
    if [ ! -x "$LINUX_BIN/$program" ]; then
        echo "FAIL: $LINUX_BIN/$program is missing: build the Linux programs first" \
             "(cmake --preset default && cmake --build --preset default --target gyro-sim make-fwr morvane-gyro-cli)"
        exit 1
    fi
done

WORK=$(mktemp -d)
SIM_PID=
# A prefix of its own: the port is mapped by restarting this prefix's wineserver, which must
# not end the other tests' Wine programs.
export WINEPREFIX=${WINEPREFIX_COM:-$(dirname "$(dirname "$WIN_CLI")")/wine-com}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the command line in the locale's character set: UTF-8, as the file names below.
export LC_ALL=C.UTF-8
export XDG_RUNTIME_DIR=$WORK/run XDG_STATE_HOME=$WORK/state XDG_CONFIG_HOME=$WORK/config
mkdir -m 700 "$WORK/run"
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
    "$WINESERVER" -k 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK" || exit 1

. "$(dirname "${BASH_SOURCE[0]}")/com_port_lib.sh"
win() { "$WINE" "$WIN_CLI" "$@"; }
wait_for() {  # wait_for FILE PATTERN: up to 10 s for a line of FILE to match
    for _ in $(seq 100); do grep -q "$2" "$1" && return; sleep 0.1; done
}
linux() { "$LINUX_BIN/morvane-gyro-cli" "$@"; }

start_gyro_sim_on_com5

# The port list names it; a port that Windows does not have is refused as on Linux.
check "ports lists COM5" "COM5:(Serial port Serial4)" "$(win ports | grep '^COM5:')"
check "read COM7" "morvane-gyro-cli: COM7: not in the port list
1" "$(win read COM7 2>&1; echo $?)"

# ports --watch: a port that a driver enters in SERIALCOMM comes, and goes when it is taken out;
# Ctrl+C ends the watch with 0.
# (Started as itself, not through win: Ctrl+C must reach the program, not a subshell.)
"$WINE" "$WIN_CLI" ports --watch > watch.out 2> watch.err &
WATCH_PID=$!
wait_for watch.out '^COM5:'
"$WINE" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Serial6' /t REG_SZ /d COM7 \
    /f > /dev/null 2>&1
wait_for watch.out '^+COM7:'
"$WINE" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Serial6' /f > /dev/null 2>&1
wait_for watch.out '^-COM7:'
kill -INT "$WATCH_PID"
wait "$WATCH_PID"
check "ports --watch: exit status" 0 "$?"
check "ports --watch: lines" "COM5:(Serial port Serial4)
+COM7:(Serial port Serial6)
-COM7:(Serial port Serial6)" "$(grep -E 'COM[57]:' watch.out)"

# read: the simulated gyro's factory settings, as the Linux program reads them.
FACTORY="ProductId=0480
MemoryMapVersion=3
FirmwareVersion=1.07
LoaderVersion=1.03
SerialNumber=74565
HighEndpoint=100
LowEndpoint=100
AvcsCwStopGain=100
AvcsCcwStopGain=100
RudderstickDeadband=5
AvcsRudderExponential=-50
RateRudderExponential=-50
AvcsAccelerationProfile=15
AvcsDecelerationProfile=15
AvcsRudderSensitivity=100
ServoPreset=Generic
ServoSpeed=0.06
ServoType=1520usec/333Hz
MidpointTrim=0
ServoDirection=Normal"
win read COM5 > read.txt
check "read COM5: exit status" 0 "$?"
check "read COM5: first line" "# morvane-gyro-cli 1.07, tq480 serial 74565, read <UTC time>" \
      "$(head -n 1 read.txt | sed -E 's/read [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$/read <UTC time>/')"
check "read COM5: fields" "$FACTORY" "$(tail -n +2 read.txt)"
LINUX_COM=$(linux ports | grep -o '^COM[0-9]*' | tail -n 1)
check "read COM5: the same as Linux reads" "$(linux read "$LINUX_COM" | tail -n +2)" \
      "$(tail -n +2 read.txt)"

# store --verify: written from Windows, read back by Linux; the file's name is not ASCII (the
# manifest's UTF-8 code page lets the C runtime open it by its UTF-8 name).
sed -e 's/^HighEndpoint=.*/HighEndpoint=120/' -e 's/^ServoDirection=.*/ServoDirection=Reverse/' \
    read.txt > Einstellung-Übung.txt
check "store COM5 --verify" "0" "$(win store COM5 Einstellung-Übung.txt --agree --verify 2>&1; echo $?)"
check "Linux reads what Windows stored" "HighEndpoint=120
ServoDirection=Reverse" "$(linux read "$LINUX_COM" | grep -E '^(HighEndpoint|ServoDirection)=')"
sed 's/^HighEndpoint=.*/HighEndpoint=146/' read.txt > bad.txt
check "store of a bad file" "bad.txt:7: HighEndpoint=146 is outside its range 30 to 145
2" "$(win store COM5 bad.txt --agree 2>&1; echo $?)"

# flash: a firmware file through the Firmware Update page; the gyro then runs 1.23.
"$LINUX_BIN/make-fwr" --records 20 --fw-version 123 new.fwr
win flash COM5 new.fwr --agree > flash.out 2> flash.err
check "flash COM5: exit status" 0 "$?"
check "flash COM5: last words" "morvane-gyro-cli: The firmware update completed sucessfully.

Before you fly ensure the controls operate correctly." "$(tr '\r' '\n' < flash.err | grep -v '%$')"
check "flash COM5: percentages" "100.0%" "$(tr '\r' '\n' < flash.err | grep '%$' | tail -n 1)"
check "firmware after flash" "FirmwareVersion=1.23" "$(win read COM5 | grep '^FirmwareVersion=')"

# Ctrl+C (Wine gives the program SIGINT as the console's Ctrl+C) stops a flash after the
# record in flight, as on Linux, with 128 + 2.
"$LINUX_BIN/make-fwr" --records 400 long.fwr
"$WINE" "$WIN_CLI" flash COM5 long.fwr --agree > stopped.out 2> stopped.err &
FLASH_PID=$!
sleep 4
kill -INT "$FLASH_PID"
wait "$FLASH_PID"
check "flash stopped by Ctrl+C: exit status" 130 "$?"
check "flash stopped by Ctrl+C: messages" "morvane-gyro-cli: stopping after the record in flight; interrupt again to stop now
morvane-gyro-cli: Programming aborted by user.

Do not attempt to fly the gyro until a firmware update has been sucessfully completed.
morvane-gyro-cli: the gyro waits in its loader for a complete firmware file" \
      "$(tr '\r' '\n' < stopped.err | grep -v '%$')"

exit $FAILED
