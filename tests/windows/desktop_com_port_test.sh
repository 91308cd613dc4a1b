#!/bin/bash
# The Windows desktop program under Wine, on an Xvfb display of its own, against the Linux
# gyro-sim on a pseudo-terminal mapped to COM5, used from the keyboard as a pilot would: it
# picks COM5, reads, looks at every page (a screenshot of each lands in SHOT_DIR), changes the
# deadband, stores it after the agreement, sends a firmware file picked in the file-open dialog,
# reads the new version, meets a second copy of itself, and closes; started again, the end of
# the Windows session stops a firmware update through its own ending.
#
# desktop_com_port_test.sh WINDOWS_DESKTOP_EXE LINUX_BIN_DIR WINE SHOT_DIR
set -u
EXE=$(realpath "$1")
LINUX_BIN=$(realpath "$2")
WINE=$3
SHOTS=$4
for tool in Xvfb xdotool import convert; do
    command -v "$tool" > /dev/null ||
        { echo "FAIL: $tool is missing (apt-get install xvfb xdotool imagemagick)"; exit 1; }
done
[ -x "$LINUX_BIN/gyro-sim" ] || { echo "FAIL: $LINUX_BIN/gyro-sim is missing"; exit 1; }

WORK=$(mktemp -d)
SIM_PID= XVFB_PID= DESK_PID=
# A prefix of its own: mapping the port restarts its wineserver.
export WINEPREFIX=${WINEPREFIX_DESKTOP:-$(dirname "$(dirname "$EXE")")/wine-desktop}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The program's settings and history in this run's folder, by its Windows name.
WIN_WORK="Z:${WORK//\//\\}"
export XDG_STATE_HOME="$WIN_WORK\\state" XDG_CONFIG_HOME="$WIN_WORK\\config"
cleanup() {
    [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null
    "${WINE}server" -k 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK" || exit 1

. "$(dirname "${BASH_SOURCE[0]}")/com_port_lib.sh"
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
    local tries=$(($1 * 10))
    shift
    for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
    return 1
}
history_file() { ls -t "$WORK"/state/morvane/history/*-"$1".txt 2>/dev/null | head -n 1; }
history_count() { ls "$WORK"/state/morvane/history/*-"$1".txt 2>/dev/null | wc -l; }
has_history() { [ "$(history_count "$1")" -ge "${2:-1}" ]; }
# A key as the pilot presses it, and time for the program to answer.
key() { xdotool key "$@"; sleep 0.4; }
# The program's window as the screen shows it: the desktop around it trimmed away.
# (import without a window waits for a click: never without one.)
shot() {
    [ -n "$DESKTOP" ] || return 1
    timeout 20 import -window "$DESKTOP" png:- | convert png:- -trim +repage "$1"
}
shot_width() { shot "$WORK/probe.png" && identify -format '%w' "$WORK/probe.png"; }
sheet_shown() { [ "$(shot_width 2>/dev/null || echo 0)" -gt 300 ]; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> display 2> /dev/null &
XVFB_PID=$!
wait_for 10 test -s display || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -n 1 display)

start_gyro_sim_on_com5

# A desktop of Wine's own draws the window's frame and title, as Windows does.
start_program() {  # start_program NAME: in a desktop of that name
    DESKTOP_NAME=$1
    "$WINE" explorer "/desktop=$DESKTOP_NAME,800x600" "$EXE" > desktop.out 2> desktop.err &
    DESK_PID=$!
    DESKTOP=
    # A prefix's first program may take a while on a busy machine.
    wait_for 120 xdotool search --name "^$DESKTOP_NAME - Wine desktop\$" > /dev/null
    DESKTOP=$(xdotool search --name "^$DESKTOP_NAME - Wine desktop\$" | head -n 1)
    wait_for 60 sheet_shown || { echo "FAIL: no window came up: $(cat desktop.err)"; exit 1; }
    xdotool windowfocus "$DESKTOP"
    sleep 1
}
start_program morvane

# The port list's last entry is COM5; Tab goes on to Read, Space presses it.
key End
key Tab
key space
wait_for 20 has_history read
check "read COM5: the history keeps what was read" "SerialNumber=74565
RudderstickDeadband=5
ServoDirection=Normal" "$(grep -E '^(RudderstickDeadband|ServoDirection|SerialNumber)=' \
    "$(history_file read)")"

# Every page, Ctrl+Tab after Ctrl+Tab, as it shows the values read.
mkdir -p "$SHOTS"
sleep 2.5  # the status line's "Read Complete" has gone, as it will on every picture
for page in main common servo mode1 mode2 firmware; do
    shot "$SHOTS/$page.png"
    key ctrl+Tab
done
check "screenshots" "main.png common.png servo.png mode1.png mode2.png firmware.png" \
      "$(cd "$SHOTS" && ls -U main.png common.png servo.png mode1.png mode2.png firmware.png |
         tr '\n' ' ' | sed 's/ $//')"
check "the pages differ" 6 "$(cd "$SHOTS" && md5sum main.png common.png servo.png mode1.png \
    mode2.png firmware.png | cut -d' ' -f1 | sort -u | wc -l)"

# Ctrl+Tab went round to Main; on to Common, where the deadband's edit has the focus with its
# text selected: 25 replaces it. Back on Main, Tab from Read goes to Store; the agreement's
# "I Agree" has the focus.
key ctrl+Tab
key 2 5
key ctrl+shift+Tab
key Tab
key space
sleep 1
shot "$SHOTS/agreement.png"
key space
wait_for 20 has_history store
check "store: the deadband reached the gyro" "0019" "$(grep -v '^#' "$WORK/memory" | sed -n 5p)"
check "store: the history keeps what was stored" "RudderstickDeadband=25" \
      "$(grep '^RudderstickDeadband=' "$(history_file store)")"
check "the agreement was shown over the sheet" 1 \
      "$([ "$(identify -format '%w' "$SHOTS/agreement.png")" -gt 300 ] && echo 1)"

# The Firmware Update page is the one before Main. Tab goes from the tabs to "Open Firmware
# File"; the file-open dialog takes the file's name and Enter. Three Tabs on are the version,
# the description and "Send Firmware"; the agreement's "I Agree" has the focus.
send_firmware() {  # send_firmware FILE: from Main, through the agreement
    key ctrl+shift+Tab
    key Tab
    key space
    sleep 1
    xdotool type --delay 20 "$WIN_WORK\\$1"
    key Return
    key Tab Tab Tab
    key space
    sleep 1
    key space
}
"$LINUX_BIN/make-fwr" --records 60 --fw-version 123 new.fwr
send_firmware new.fwr
sleep 1.5
shot "$SHOTS/firmware-sending.png"
wait_for 30 grep -q '^0100' gyro-sim-firmware
check "flash: the gyro's loader took every record" 60 "$(wc -l < gyro-sim-firmware)"
sleep 1
shot "$SHOTS/firmware-done.png"
# The box's OK, then Main (the page after the last), where Store still has the focus, and
# Read before it.
key Return
key ctrl+Tab
key shift+Tab
key space
wait_for 20 has_history read 2
check "read after the flash" "FirmwareVersion=1.23" \
      "$(grep '^FirmwareVersion=' "$(history_file read)")"

# A second copy hands over to the running one and ends.
check "a second copy" "morvane-gyro-tools: already running; its window was brought to the front
0" "$("$WINE" "$EXE" 2>&1 > /dev/null; echo $?)"

# Alt+F4 closes the sheet and ends the program.
key alt+F4
# Wine's desktop goes when its last program has ended.
wait_for 15 eval '! kill -0 "$DESK_PID" 2> /dev/null'
check "Alt+F4 ends the program" "ended" "$(kill -0 "$DESK_PID" 2> /dev/null || echo ended)"

# Started again (on the port it was left on), a long file is sent; the session's end, told
# to the programs of its desktop, stops it after the record in flight, answers the boxes
# (their texts go to standard error), gives the port back and ends the program.
"$LINUX_BIN/make-fwr" --records 400 long.fwr
rm -f gyro-sim-firmware
start_program morvane-again
send_firmware long.fwr
wait_for 20 test -s gyro-sim-firmware
"$WINE" explorer /desktop=morvane-again wineboot --end-session
wait_for 15 eval '! kill -0 "$DESK_PID" 2> /dev/null'
check "the session's end ends the program" "ended" \
      "$(kill -0 "$DESK_PID" 2> /dev/null || echo ended)"
check "the session's end stops the firmware update" "Programming aborted by user.

Do not attempt to fly the gyro until a firmware update has been sucessfully completed." \
      "$(tr -d '\r' < desktop.err)"
check "the loader waits for a complete file" "" "$(grep '^0100' gyro-sim-firmware)"

exit $FAILED
