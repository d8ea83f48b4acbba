#!/usr/bin/env bash
# Takes the README's screenshots under Xvfb: the main window with live charts, the same with the
# spectrum, and the delay window, all against the simulator; then the main window at 1280 x 1000,
# and the main window and the settings dialog at 150 % scale. Writes docs/screenshot*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
app="$dir/app/VintrelV4_0"
sim="$dir/sim/vintrel-sim"
mkdir -p docs
# The FTDI box off: no driver box at start on a machine without the D2XX library.
printf '  Use *FTDI* ports only = No\r\n' > "$dir/app/VintrelV4_0.config"

shoot() {
    local out="$1" screen="$2"; shift 2
    "$sim" --listen 127.0.0.1:9090 --once --seconds 30 --echo-delay-ms 60 >/dev/null 2>&1 &
    local simpid=$!
    sleep 0.5
    env "$@" VINTREL_SCREENSHOT="$out:7000" xvfb-run -a -s "-screen 0 ${screen}x24" "$app" >/dev/null 2>&1 || true
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
}

shoot docs/screenshot.png 1280x1024 VINTREL_AUTOCONNECT=all
shoot docs/screenshot-spectrum.png 1280x1024 VINTREL_AUTOCONNECT=1 VINTREL_SHOW_SPECTRUM=1
shoot docs/screenshot-large.png 1400x1100 VINTREL_AUTOCONNECT=1 VINTREL_WINDOW_SIZE=1280x1000
shoot docs/screenshot-150.png 1920x1200 VINTREL_AUTOCONNECT=1 VINTREL_SHOT_SETTINGS=1 QT_SCALE_FACTOR=1.5
ls -l docs/screenshot*.png
