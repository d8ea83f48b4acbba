#!/usr/bin/env bash
# Parsing a large new-protocol raw record with five channels into WAV files (vintrel-cli parse, as
# after a recording), next to two peers on the same disk in the same run: sox converting the same
# amount of 16-bit raw audio into one WAV file, and cp of the record (what the disk allows). Each
# is timed REPS times and the best run counts. Targets: faster than sox, within 3x of cp.
# Usage: bench/record_parse_throughput.sh [MIB] [FORMAT] [REPS]   (default 512 MiB, 8k4, 3)
# The big files live in a scratch folder under $TMPDIR (default /tmp) that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
mib="${1:-512}"
format="${2:-8k4}"
reps="${3:-3}"
sim="$dir/sim/vintrel-sim"
cli="$dir/cli/vintrel-cli"
command -v sox >/dev/null || { echo "sox is needed (Debian package sox)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/vintrel-parse-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The record: as many seconds of stream as make MIB mebibytes.
"$sim" --output "$work/one" --protocol new --channels 5 --format "$format" --seconds 1 >/dev/null
frame_per_sec=$(stat -c %s "$work/one")
seconds=$(python3 -c "print(round($mib * 1048576 / $frame_per_sec, 3))")
rm -f "$work/one"
"$sim" --output "$work/rec.raw" --protocol new --channels 5 --format "$format" --seconds "$seconds" >/dev/null
bytes=$(stat -c %s "$work/rec.raw")
# The sampling rate of the format, for sox.
rate=$(python3 -c "import sys; f = sys.argv[1].replace(' ', '').lower()
print(8000 if f.startswith('8') else 16000 if f.startswith('16') else 24000)" "$format")

now() { date +%s.%N; }
best() { python3 -c "import sys; print(min(float(x) for x in sys.argv[1:]))" "$@"; }

cp_t=(); sox_t=(); parse_t=()
for _ in $(seq "$reps"); do
    sync
    t0=$(now); cp "$work/rec.raw" "$work/copy.raw"; sync -f "$work/copy.raw"; t1=$(now)
    cp_t+=("$(python3 -c "print($t1 - $t0)")"); rm -f "$work/copy.raw"

    t0=$(now)
    sox -t raw -r "$rate" -e signed-integer -b 16 -c 1 -L "$work/rec.raw" "$work/sox.wav"
    sync -f "$work/sox.wav"; t1=$(now)
    sox_t+=("$(python3 -c "print($t1 - $t0)")"); rm -f "$work/sox.wav"

    mkdir -p "$work/out"
    t0=$(now)
    "$cli" parse "$work/rec.raw" --format "$format" --protocol new --no-stamp --base b --out "$work/out" >"$work/parse.txt"
    sync -f "$work/out/b-MIPS.wav"; t1=$(now)
    parse_t+=("$(python3 -c "print($t1 - $t0)")")
    written=$(du -cb "$work"/out/*.wav | tail -1 | cut -f1)
    rm -rf "$work/out"
done

python3 - "$bytes" "$written" "$(best "${cp_t[@]}")" "$(best "${sox_t[@]}")" "$(best "${parse_t[@]}")" "$format" "$(head -1 "$work/parse.txt")" <<'PY'
import sys
size, written = int(sys.argv[1]), int(sys.argv[2])
cp, sox, parse = (float(x) for x in sys.argv[3:6])
fmt, status = sys.argv[6], sys.argv[7]
mib = size / 1048576
print(f'record: {mib:.0f} MiB, new protocol, "{fmt}", five channels; the parse wrote {written / 1048576:.0f} MiB of WAV files')
print(f'  parse status:{status}')
for name, t in (('vintrel-cli parse', parse), ('sox raw -> wav', sox), ('cp (disk limit)', cp)):
    print(f'  {name:18s} {t:7.3f} s  {mib / t:8.0f} MiB/s of record')
print(f'  parse vs sox: {sox / parse:.2f}x as fast ({"faster" if parse < sox else "SLOWER"}); '
      f'parse vs cp: {parse / cp:.2f}x the time of cp ({"within" if parse <= 3 * cp else "NOT within"} 3x)')
PY
