#!/usr/bin/env bash
# The window against the simulator at "24 Ksps, 1.33ms" in real time with the spectrum on, for
# SECONDS (default 60): the longest time the window thread was busy, and the frames counted.
# With --parse [SECONDS] (default 520, about 200 MB): a record of that length is generated and the
# window parses it; the longest time the window thread was busy during the parse.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
if [ "${1:-}" = "--parse" ]; then
    record=$(mktemp --suffix=.raw)
    trap 'rm -f "$record"' EXIT
    "$dir/sim/vintrel-sim" --output "$record" --format 24k1.33 --channels 5 --seconds "${2:-520}" > /dev/null
    "$dir/bench/vintrel_gui_responsiveness" --parse "$record" 2>/dev/null
    exit 0
fi
seconds="${1:-60}"
out=$(mktemp)
"$dir/sim/vintrel-sim" --listen 127.0.0.1:0 --once --format 24k1.33 --channels 5 --seconds $((seconds + 10)) > "$out" 2>/dev/null &
simpid=$!
trap 'kill $simpid 2>/dev/null || true; rm -f "$out"' EXIT
address=""
for _ in $(seq 100); do
    address=$(sed -n 's/^listening on //p' "$out")
    [ -n "$address" ] && break
    sleep 0.05
done
"$dir/bench/vintrel_gui_responsiveness" "$address" "$seconds" 2>/dev/null
