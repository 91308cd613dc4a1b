# What the Windows COM-port tests share; sourced, with WORK (the run's folder, the current
# directory), WINE and LINUX_BIN set.

FAILED=0
check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        printf 'FAIL: %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
        FAILED=1
    else
        echo "ok: $1"
    fi
}

# Starts gyro-sim on a pseudo-terminal (its memory in $WORK/memory, its output in sim.out and
# sim.err, its process SIM_PID, its published port in $WORK/run, away from any other's) and maps it to COM5 the way Wine maps serial ports: an entry in
# HKLM\Software\Wine\Ports, taken up when the prefix's wineserver starts again.
start_gyro_sim_on_com5() {
    mkdir -p -m 700 "$WORK/run"
    XDG_RUNTIME_DIR="$WORK/run" "$LINUX_BIN/gyro-sim" --memory "$WORK/memory" > sim.out 2> sim.err &
    SIM_PID=$!
    for _ in $(seq 50); do [ -s sim.out ] && break; sleep 0.1; done
    PTY=$(head -n 1 sim.out)
    [ -c "$PTY" ] || { echo "FAIL: gyro-sim gave no terminal: $(cat sim.err)"; exit 1; }
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$PTY" /f > /dev/null 2>&1
    "$(dirname "$WINE")/wineserver" -k 2>/dev/null
    "$(dirname "$WINE")/wineserver" -w 2>/dev/null
}
