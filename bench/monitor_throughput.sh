#!/usr/bin/env bash
# The monitor against the simulator over loopback TCP, as fast as the simulator can send:
# frames per second achieved, the ratio to the format's real-time rate, CPU time per second of
# stream, and whether every frame arrived undamaged. Usage: bench/monitor_throughput.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
stream_seconds="${1:-600}"
sim="$dir/sim/vintrel-sim"
cli="$dir/cli/vintrel-cli"

run() {
    local format="$1" fps="$2"
    local frames
    frames=$(python3 -c "print(round($stream_seconds * $fps))")
    local simout
    simout=$(mktemp)
    "$sim" --listen 127.0.0.1:0 --once --as-fast-as-possible --channels 5 --format "$format" \
        --seconds "$stream_seconds" > "$simout" 2>/dev/null &
    local simpid=$!
    local address=""
    for _ in $(seq 100); do
        address=$(sed -n 's/^listening on //p' "$simout")
        [ -n "$address" ] && break
        sleep 0.05
    done
    local monout
    monout=$(mktemp)
    "$cli" monitor --connect "$address" --format "$format" --frames "$frames" --seconds 600 > "$monout" &
    local monpid=$!
    wait "$simpid" || true
    # The simulator serves one connection: a monitor that lost it and reconnected waits in vain.
    # It is stopped 10 s after the simulator ended and reports the frames it did get.
    for _ in $(seq 100); do
        kill -0 "$monpid" 2>/dev/null || break
        sleep 0.1
    done
    kill -TERM "$monpid" 2>/dev/null || true
    wait "$monpid" || true
    local out
    out=$(cat "$monout")
    rm -f "$simout" "$monout"
    local got cs inc elapsed cpu
    got=$(sed -n 's/^Total frames: //p' <<<"$out")
    cs=$(sed -n 's/^Checksum errors: //p' <<<"$out")
    inc=$(sed -n 's/^Inconsistent frames: //p' <<<"$out")
    elapsed=$(sed -n 's/^Elapsed, s: //p' <<<"$out")
    cpu=$(sed -n 's/^CPU, s: //p' <<<"$out")
    python3 - "$format" "$fps" "$frames" "$got" "$cs" "$inc" "$elapsed" "$cpu" "$stream_seconds" <<'PY'
import sys
fmt, fps, sent, got, cs, inc, elapsed, cpu, secs = sys.argv[1:]
fps, sent, got, cs, inc = float(fps), int(sent), int(got), int(cs), int(inc)
elapsed, cpu, secs = float(elapsed), float(cpu), float(secs)
rate = got / elapsed
print(f'"{fmt}", 5 channels: {got}/{sent} frames, lost {sent - got}, checksum errors {cs}, '
      f'inconsistent {inc}; {rate:,.0f} frames/s = {rate / fps:.1f} x real time; '
      f'CPU {1000 * cpu / secs:.2f} ms per second of stream')
PY
}

run "24 Ksps, 1.33ms" 750
run "16 Ksps, 16 ms" 62.5
