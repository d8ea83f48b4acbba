#!/usr/bin/env bash
# The main job: the target simulator on 127.0.0.1:9090 (or on a free port, which it names, when
# 9090 is taken) and the monitor window ready to connect to it. On a machine without a display,
# records a few seconds from the simulator with vintrel-cli instead and lists the WAV files and
# reports it wrote. Builds only the three programs, into the folder scripts/test.sh uses.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
VINTREL_BUILD_TARGETS="VintrelV4_0 vintrel-cli vintrel-sim" scripts/build.sh
dir="${VINTREL_BUILD_DIR:-build}"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/vintrel-demo.XXXXXX")"
simlog="$tmp/sim.log"
simpid=""
cleanup() {
    if [ -n "$simpid" ]; then
        kill "$simpid" 2>/dev/null || true
        wait "$simpid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

show_sim_log() {
    echo "The simulator's output ($simlog):" >&2
    sed 's/^/  /' "$simlog" >&2
}

# Starts the simulator on $1 (HOST:PORT) and waits until it listens; sets simpid and address.
# Returns 1 when the simulator ended instead (its output is in the log).
start_sim() {
    "$dir/sim/vintrel-sim" --listen "$1" --echo-delay-ms 60 --skip-frame-every 2000 >"$simlog" 2>&1 &
    simpid=$!
    for _ in $(seq 200); do
        address="$(sed -n 's/^listening on //p' "$simlog")"
        [ -n "$address" ] && return 0
        if ! kill -0 "$simpid" 2>/dev/null; then
            wait "$simpid" || true
            simpid=""
            return 1
        fi
        sleep 0.05
    done
    echo "The simulator did not start listening within 10 s." >&2
    show_sim_log
    exit 1
}

address=""
if ! start_sim 127.0.0.1:9090; then
    if ! grep -q 'cannot listen on .*: Address already in use' "$simlog"; then
        show_sim_log
        exit 1
    fi
    echo "Port 9090 is taken: another program listens on it."
    # Port 0: the system gives a free port and the simulator says which.
    if ! start_sim 127.0.0.1:0; then
        show_sim_log
        exit 1
    fi
fi
echo "The simulator serves $address (its output: $simlog)."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # A configuration file of its own hands the address to the window. Where no FTDI D2XX library
    # can be loaded (libftd2xx.so, or the file $VINTREL_FTD2XX names), the port list shows the
    # serial ports instead of asking for the driver.
    config="$tmp/VintrelV4_0.config"
    printf '  *Transport* = TCP/IP\r\n  *IPAdrPort* = %s\r\n' "$address" >"$config"
    library="${VINTREL_FTD2XX:-libftd2xx.so}"
    found=no
    if [[ "$library" == */* ]]; then
        if [ -e "$library" ]; then found=yes; fi
    else
        IFS=: read -ra folders <<<"${LD_LIBRARY_PATH:-}"
        for d in "${folders[@]}" /lib /usr/lib /lib64 /usr/lib64; do
            if [ -n "$d" ] && [ -e "$d/$library" ]; then found=yes; fi
        done
        ldconfig="$(command -v ldconfig || echo /sbin/ldconfig)"
        # The loader's cache lists "NAME (ABI) => PATH".
        if "$ldconfig" -p 2>/dev/null | awk -v n="$library" '$1 == n { f = 1 } END { exit !f }'; then
            found=yes
        fi
    fi
    if [ "$found" = no ]; then
        printf '  Use *FTDI* ports only = No\r\n' >>"$config"
    fi
    echo "The window takes $address from $config; press Connect in the window."
    status=0
    "$dir/app/VintrelV4_0" --config "$config" || status=$?
    if ! kill -0 "$simpid" 2>/dev/null; then
        echo "The simulator ended while the window ran." >&2
        show_sim_log
    fi
    exit "$status"
else
    mkdir -p out/demo
    status=0
    "$dir/cli/vintrel-cli" record --connect "$address" --seconds 5 --out out/demo --base demo || status=$?
    if [ "$status" -ne 0 ]; then
        show_sim_log
        exit "$status"
    fi
    echo
    echo "Files written:"
    ls -l out/demo
fi
