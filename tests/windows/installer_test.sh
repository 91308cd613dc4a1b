#!/bin/bash
# The Windows installer under Wine, in a 64-bit prefix of its own: a silent install puts the
# programs, the Start-menu folder and the uninstall entry (64-bit registry) where Windows keeps
# them, and the installed command line runs; a silent uninstall takes exactly these away and
# leaves the pilot's settings.
#
# installer_test.sh SETUP_EXE WINE PREFIX WITH_DESKTOP_PROGRAM(0|1)
set -u
SETUP=$(realpath -m "$1") WINE=$2 WITH_TOOLS=$4 WINEPREFIX=$(realpath -m "$3")
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$SETUP" ] || { echo "FAIL: there is no installer $SETUP"; exit 1; }
FAILED=0
fail() { echo "FAIL: $*"; FAILED=1; }
wine_done() { timeout 120 "$(dirname "$WINE")/wineserver" -w; }  # all the prefix's programs ended
TIMES=
run() {  # run COMMAND...: starts it under Wine and waits for it and all it started
    local t0 status; t0=$(date +%s%N)
    "$WINE" "$@"; status=$?; wine_done
    TIMES+="$(basename "$1") $2: $((($(date +%s%N) - t0) / 1000000)) ms; "
    [ "$status" = 0 ] || fail "$* ended with $status"
}

DIR="$WINEPREFIX/drive_c/Program Files/Morvane RC Gyro Tools"
MENU="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Morvane RC Gyro Tools"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MorvaneGyroTools'
KEY32='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\MorvaneGyroTools'
INSTALLED=("$DIR/morvane-gyro-cli.exe" "$DIR/README.txt" "$DIR/Copyright.txt"
           "$DIR/Uninstall.exe" "$MENU/README.lnk" "$MENU/Uninstall Morvane RC Gyro Tools.lnk")
DESKTOP=("$DIR/morvane-gyro-tools.exe" "$MENU/Morvane RC Gyro Tools.lnk")
if [ "$WITH_TOOLS" = 1 ]; then
    INSTALLED+=("${DESKTOP[@]}") NOT_INSTALLED=() ICON=tools
else
    NOT_INSTALLED=("${DESKTOP[@]}") ICON=cli
fi
VALUES="DisplayIcon REG_SZ C:\\Program Files\\Morvane RC Gyro Tools\\morvane-gyro-$ICON.exe
DisplayName REG_SZ Morvane RC Gyro Tools
DisplayVersion REG_SZ 1.07
InstallLocation REG_SZ C:\\Program Files\\Morvane RC Gyro Tools
NoModify REG_DWORD 0x1
NoRepair REG_DWORD 0x1
Publisher REG_SZ Morvane
QuietUninstallString REG_SZ \"C:\\Program Files\\Morvane RC Gyro Tools\\Uninstall.exe\" /S
UninstallString REG_SZ \"C:\\Program Files\\Morvane RC Gyro Tools\\Uninstall.exe\""
key_values() {  # the values of key $1, one "name type data" a line, sorted
    "$WINE" reg query "$1" 2>/dev/null | tr -d '\r' | sed -n 's/^    //p' |
        sed -E 's/    / /g' | LC_ALL=C sort
}

# A prefix left by an earlier run is kept (making one takes long); what a failed run may have
# left of the installation goes first.
"$WINE" wineboot -i > /dev/null 2>&1
rm -rf "$DIR" "$MENU"
"$WINE" reg delete "$KEY" /f > /dev/null 2>&1
wine_done
[ -z "$(key_values "$KEY")" ] || fail "$KEY is there before the install"
# The pilot's settings, which an uninstall must leave.
SETTINGS=()
for folder in APPDATA LOCALAPPDATA; do
    dir=$("$WINE" winepath -u "$("$WINE" cmd /c echo "%$folder%" | tr -d '\r')" | tr -d '\r')
    mkdir -p "$dir/Morvane" && echo "kept=1" > "$dir/Morvane/installer-test.ini"
    SETTINGS+=("$dir/Morvane/installer-test.ini")
done

run "$SETUP" /S
for f in "${INSTALLED[@]}"; do [ -s "$f" ] || fail "not installed: $f"; done
for f in "${NOT_INSTALLED[@]}"; do [ ! -e "$f" ] || fail "installed without its program: $f"; done
values=$(key_values "$KEY")
[ "$(grep -v '^EstimatedSize ' <<< "$values")" = "$VALUES" ] ||
    fail "$KEY holds"$'\n'"$values"$'\n'"--- instead of"$'\n'"$VALUES"
grep -qE '^EstimatedSize REG_DWORD 0x[0-9a-f]{3,}$' <<< "$values" ||
    fail "no EstimatedSize of 256 KiB or more"
[ -z "$(key_values "$KEY32")" ] || fail "the uninstall entry is in the 32-bit registry"
version=$("$WINE" "$DIR/morvane-gyro-cli.exe" --version | tr -d '\r')
[ "$version" = "morvane-gyro-cli 1.07" ] || fail "the installed --version printed: $version"
wine_done

# The uninstaller copies itself to the temporary folder and starts that copy, which outlives
# it; run waits for the copy too.
run "$DIR/Uninstall.exe" /S
for f in "${INSTALLED[@]}" "$DIR" "$MENU"; do [ ! -e "$f" ] || fail "left after uninstall: $f"; done
[ -z "$(key_values "$KEY")" ] || fail "$KEY left after uninstall"
for f in "${SETTINGS[@]}"; do
    [ "$(cat "$f" 2>/dev/null)" = "kept=1" ] || fail "the uninstall took the settings $f"
done
echo "$TIMES"
[ $FAILED = 0 ] && echo "ok: installed ${#INSTALLED[@]} files and shortcuts, uninstalled them"
exit $FAILED
