#!/usr/bin/env bash
# Two builds of the receiver side by side, interleaved on the same machine: synchronisation plus
# decoding (vintrel_bench, as bench/performance.sh runs it in full mode) and the live monitor
# against the simulator (bench/monitor_throughput.sh 600), ROUNDS times each; prints the medians.
# Usage: bench/compare_builds.sh BUILD_BEFORE BUILD_AFTER [ROUNDS]   (ROUNDS default 5)
#        bench/compare_builds.sh --full BUILD_BEFORE BUILD_AFTER [ROUNDS]   (ROUNDS default 1)
# --full runs bench/performance.sh in full mode (every benchmark, medians of 5 repetitions) for the
# two builds in turn, ROUNDS times, and compares every figure (bench/compare_performance.py).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --full ]; then
    before="$2" after="$3" rounds="${4:-1}"
    out=$(mktemp -d)
    b_dirs=() a_dirs=()
    for r in $(seq "$rounds"); do
        VINTREL_BUILD_DIR="$before" bench/performance.sh --out "$out/before-$r" >/dev/null 2>&1
        VINTREL_BUILD_DIR="$after" bench/performance.sh --out "$out/after-$r" >/dev/null 2>&1
        b_dirs+=("$out/before-$r") a_dirs+=("$out/after-$r")
        echo "round $r done (results in $out)" >&2
    done
    exec python3 bench/compare_performance.py "$(IFS=,; echo "${b_dirs[*]}")" "$(IFS=,; echo "${a_dirs[*]}")"
fi
before="$1" after="$2" rounds="${3:-5}"
out=$(mktemp -d)
for r in $(seq "$rounds"); do
    for b in "$before" "$after"; do
        tag=$(basename "$b")
        "$b/bench/vintrel_bench" --benchmark_filter=SyncDecode --benchmark_min_time=0.5 \
            --benchmark_format=csv 2>/dev/null | grep '^"BM_' >> "$out/$tag.stream"
        VINTREL_BUILD_DIR="$b" bench/monitor_throughput.sh 600 >> "$out/$tag.monitor"
        echo "round $r: $tag done" >&2
    done
done
python3 - "$out" "$(basename "$before")" "$(basename "$after")" <<'PY'
import csv, re, statistics, sys, collections
out, tags = sys.argv[1], sys.argv[2:]
def stream(tag):
    by = collections.defaultdict(list)
    for row in csv.reader(open(f"{out}/{tag}.stream")):
        by[row[0]].append(float(row[5]) / 1e6)  # bytes_per_second
    return {k: statistics.median(v) for k, v in by.items()}
def monitor(tag):
    by = collections.defaultdict(list)
    for line in open(f"{out}/{tag}.monitor"):
        m = re.match(r'"([^"]+)".*?([\d,]+) frames/s = ([\d.]+) x real time', line)
        if m: by[m.group(1)].append(float(m.group(3)))
    return {k: statistics.median(v) for k, v in by.items()}
s = [stream(t) for t in tags]
m = [monitor(t) for t in tags]
print(f"{'median':28} {tags[0]:>14} {tags[1]:>14} {'change':>8}")
for k in s[0]:
    print(f"{k + ', MB/s':28} {s[0][k]:14.1f} {s[1][k]:14.1f} {100 * (s[1][k] / s[0][k] - 1):+7.1f}%")
for k in m[0]:
    print(f"{'monitor ' + k + ', x rt':28} {m[0][k]:14.1f} {m[1][k]:14.1f} {100 * (m[1][k] / m[0][k] - 1):+7.1f}%")
PY
