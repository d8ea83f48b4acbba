#!/usr/bin/env bash
# Every benchmark of the program once, each next to its peer or physical limit measured in the same
# run (memcpy, cp, sox, FFTW, the link's 1.2 MB/s, real time), then docs/performance.md made from
# the results. The raw outputs, the exact commands and the document stay in the results folder.
#
# Usage: bench/performance.sh [--quick] [--doc] [--out DIR]
#   --quick   smoke test: short benchmark times, no repetitions, a 64 MiB record, 60 s of stream
#             for the monitor, 10 s of window (under a minute; the full run takes about 4)
#   --doc     also write the document to docs/performance.md (full runs only)
#   --out DIR results folder (default: $VINTREL_BUILD_DIR/performance, VINTREL_BUILD_DIR default build)
# Build first: VINTREL_BUILD_DIR=build-perf scripts/build.sh (RelWithDebInfo). Needs sox and
# libfftw3-dev (scripts/install-deps.sh installs both). Run it on a quiet machine: the load and
# the other processes' CPU before every step go into the document.
set -uo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
quick=0
doc=0
out=""
while [ $# -gt 0 ]; do
    case "$1" in
    --quick) quick=1 ;;
    --doc) doc=1 ;;
    --out) out="${2:?--out needs a folder}"; shift ;;
    -h | --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done
out="${out:-$dir/performance}"
if [ "$quick" = 1 ] && [ "$doc" = 1 ]; then
    echo "--doc takes the figures of a full run only (leave out --quick)" >&2
    exit 2
fi

need=("$dir/bench/vintrel_bench" "$dir/bench/vintrel_corr_bench" "$dir/bench/vintrel_fft_bench"
      "$dir/bench/vintrel_chart_bench" "$dir/bench/vintrel_gui_responsiveness"
      "$dir/sim/vintrel-sim" "$dir/cli/vintrel-cli")
for f in "${need[@]}"; do
    [ -x "$f" ] || { echo "$f is missing: build first (VINTREL_BUILD_DIR=$dir scripts/build.sh)" >&2; exit 2; }
done
for tool in sox python3 top; do
    command -v "$tool" >/dev/null || { echo "$tool is needed (scripts/install-deps.sh installs it)" >&2; exit 2; }
done

if [ "$quick" = 1 ]; then
    min_time=0.05; reps=1; monitor_seconds=60; record_mib=64; record_reps=1; gui_seconds=10
else
    min_time=0.5; reps=5; monitor_seconds=600; record_mib=512; record_reps=3; gui_seconds=60
fi

mkdir -p "$out"
rm -f "$out"/*.json "$out"/*.txt "$out"/performance.md

# The machine, before anything runs.
{
    echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "mode: $([ "$quick" = 1 ] && echo quick || echo full)"
    # Uncommitted changes that can move a figure (tests, scripts and documents cannot).
    changed=$(git status --porcelain 2>/dev/null | cut -c4- |
              grep -v -E '^(tests/|docs/|scripts/|README\.md|CONTRIBUTING\.md|bench/performance)' | tr '\n' ' ')
    echo "commit: $(git rev-parse --short HEAD 2>/dev/null || echo unknown)${changed:+ with uncommitted changes to ${changed% }}"
    echo "nproc: $(nproc)"
    echo "cpu: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
    echo "cpu details: family $(sed -n 's/^cpu family[[:space:]]*: //p' /proc/cpuinfo | head -1)," \
         "model $(sed -n 's/^model[[:space:]]*: //p' /proc/cpuinfo | head -1)," \
         "$(awk -F': ' '/^cpu MHz/ {printf "%.0f MHz", $2; exit}' /proc/cpuinfo)," \
         "$(grep -qw hypervisor /proc/cpuinfo && echo 'virtual machine' || echo 'no hypervisor flag')," \
         "widest vector unit $(grep -m1 '^flags' /proc/cpuinfo | grep -qw avx512f && echo AVX-512 ||
                               (grep -m1 '^flags' /proc/cpuinfo | grep -qw avx2 && echo AVX2 || echo SSE))"
    echo "memory: $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
    echo "kernel: $(uname -sr)"
    echo "build dir: $dir"
    echo "build type: $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$dir/CMakeCache.txt")"
    cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$dir/CMakeCache.txt")
    echo "compiler: $("${cxx:-c++}" --version | head -1)"
    echo "sox: $(sox --version 2>&1 | sed 's/^.*SoX //')"
    echo "fftw: $(dpkg-query -W -f '${Version}' libfftw3-dev 2>/dev/null || echo unknown)"
    echo "google benchmark: $(dpkg-query -W -f '${Version}' libbenchmark-dev 2>/dev/null || echo unknown)"
    echo "scratch filesystem: $(df -T "${TMPDIR:-/tmp}" | awk 'NR == 2 {print $2 " on " $1}')"
    # What else used the cores over one second (top's second sample), above 1 % of a core.
    busy=$(top -b -n 2 -d 1 -o %CPU -w 512 2>/dev/null |
           awk '/^top -/ {n++} n == 2 && $1 ~ /^[0-9]+$/ && $9 > 1 {printf "%s%s %s %%", c++ ? ", " : "", $12, $9}')
    echo "other processes at the start: ${busy:-none above 1 % of a core}"
} > "$out/machine.txt"
uptime > "$out/uptime-before.txt"
echo "{\"monitor_seconds\": $monitor_seconds, \"record_mib\": $record_mib, \"record_reps\": $record_reps," \
     "\"gui_seconds\": $gui_seconds, \"min_time\": $min_time, \"repetitions\": $reps," \
     "\"build_dir\": \"$dir\", \"quick\": $quick}" > "$out/settings.json"

# others: the CPU other processes use, in % of one core, over half a second (top's second sample).
# Taken between steps, when nothing of this run is running, unlike the load average, which
# includes the run's own benchmarks.
others() {
    top -b -n 2 -d 0.5 -w 512 2>/dev/null |
        awk '/^top -/ {n++} n == 2 && $1 ~ /^[0-9]+$/ && $12 != "top" {sum += $9} END {printf "%.0f", sum}'
}
# step NAME: the load average, the clock and the other processes' CPU as the step starts (the
# report shows them per step).
step() {
    echo "== $1" >&2
    echo "$1|$(cut -d' ' -f1-3 /proc/loadavg)|$(date +%s)|$(others)" >> "$out/load.txt"
}
# run CMD...: runs a command and writes it, as typed, into commands.txt for the document (the
# scripts of bench/ with the build folder they read).
run() {
    local line
    printf -v line '%q ' "$@"
    [[ "$*" == *.sh* ]] && line="VINTREL_BUILD_DIR=$dir $line"
    echo "${line% }" >> "$out/commands.txt"
    "$@"
}
# gbench NAME PROGRAM: a Google Benchmark program, JSON into NAME.json, the console table to stderr.
# Full runs repeat every benchmark five times in random order and keep the aggregates (the report
# takes the median), so a burst of load on the machine moves one repetition, not the figure.
gbench() {
    local extra=()
    [ "$reps" -gt 1 ] && extra=(--benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true
                                --benchmark_enable_random_interleaving=true)
    run "$2" --benchmark_min_time="$min_time" "${extra[@]}" \
        --benchmark_out="$out/$1.json" --benchmark_out_format=json >&2 ||
        echo "failed: exit $?" > "$out/$1.failed.txt"
}

step "Frame stream core: sync + decode next to memcpy"
gbench stream "$dir/bench/vintrel_bench"

step "Live stream: bytes per second of every format"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vintrel-perf.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
echo "$dir/sim/vintrel-sim --output S.raw --protocol new|old --format F --channels 5 --seconds 10   # for each protocol and format" \
    >> "$out/commands.txt"
for protocol in new old; do
    for format in 8k4 16k2 16k4 16k16 8k16 24k1.33 24k2.67; do
        if "$dir/sim/vintrel-sim" --output "$scratch/s.raw" --protocol "$protocol" --format "$format" \
            --channels 5 --seconds 10 >/dev/null 2>&1; then
            echo "$protocol $format 10 $(stat -c %s "$scratch/s.raw")" >> "$out/rates.txt"
        fi
        rm -f "$scratch/s.raw"
    done
done

step "Live stream: monitor over loopback TCP at full speed"
# Both formats take seconds. A monitor that lost frames waits for them up to its own 600 s limit
# (on a busy machine the simulator can stall longer than the 32 ms after which a link counts as
# dead, and it serves only that one connection), so the step is cut off after 120 s; timeout ends
# the simulator and the monitor with it.
run timeout 120 bench/monitor_throughput.sh "$monitor_seconds" > "$out/monitor.txt" ||
    echo "failed: exit $?" >> "$out/monitor.txt"

step "Delay estimation: corr_state next to FFTW"
gbench corr "$dir/bench/vintrel_corr_bench"

step "Monitoring: spectrum FFT next to FFTW"
gbench fft "$dir/bench/vintrel_fft_bench"

step "Monitoring: chart drawing"
gbench chart "$dir/bench/vintrel_chart_bench"

step "Recording: record parse next to sox and cp"
run bench/record_parse_throughput.sh "$record_mib" 8k4 "$record_reps" > "$out/record.txt" ||
    echo "failed: exit $?" >> "$out/record.txt"

step "Application: window responsiveness for ${gui_seconds} s"
run bench/gui_responsiveness.sh "$gui_seconds" > "$out/gui.txt" || echo "failed: exit $?" >> "$out/gui.txt"

step "end"
uptime > "$out/uptime-after.txt"

python3 bench/performance_report.py "$out" > "$out/performance.md" || { echo "the report failed" >&2; exit 1; }
cat "$out/performance.md"
if [ "$doc" = 1 ]; then
    cp "$out/performance.md" docs/performance.md
    echo "(docs/performance.md written; raw outputs in $out)" >&2
else
    echo "(raw outputs and performance.md in $out)" >&2
fi
