#!/usr/bin/env bash
# The main job: the target simulator on 127.0.0.1:9090 and the monitor ready to connect to it.
# On a machine without a display, records a few seconds from the simulator with vintrel-cli
# instead and lists the WAV files and reports it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
dir="${VINTREL_BUILD_DIR:-build}"

"$dir/sim/vintrel-sim" --listen 127.0.0.1:9090 --echo-delay-ms 60 --skip-frame-every 2000 >/dev/null 2>&1 &
simpid=$!
trap 'kill $simpid 2>/dev/null || true' EXIT
sleep 0.5

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "The simulator serves 127.0.0.1:9090; press Connect in the window."
    "$dir/app/VintrelV4_0"
else
    mkdir -p out/demo
    "$dir/cli/vintrel-cli" record --connect 127.0.0.1:9090 --seconds 5 --out out/demo --base demo
    echo
    echo "Files written:"
    ls -l out/demo
fi
