#!/usr/bin/env bash
# Takes the README's screenshots under Xvfb: the main window with live charts, the same with the
# spectrum, and the delay window, all against the simulator. Writes docs/screenshot*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
app="$dir/app/VintrelV4_0"
sim="$dir/sim/vintrel-sim"
mkdir -p docs
# The FTDI box off: no driver box at start on a machine without the D2XX library.
printf '  Use *FTDI* ports only = No\r\n' > "$dir/app/VintrelV4_0.config"

shoot() {
    local out="$1"; shift
    "$sim" --listen 127.0.0.1:9090 --once --seconds 30 --echo-delay-ms 60 >/dev/null 2>&1 &
    local simpid=$!
    sleep 0.5
    env "$@" VINTREL_SCREENSHOT="$out:7000" xvfb-run -a -s "-screen 0 1280x1024x24" "$app" >/dev/null 2>&1 || true
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
}

shoot docs/screenshot.png VINTREL_AUTOCONNECT=all
shoot docs/screenshot-spectrum.png VINTREL_AUTOCONNECT=1 VINTREL_SHOW_SPECTRUM=1
ls -l docs/screenshot*.png
