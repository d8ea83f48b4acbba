#!/usr/bin/env bash
# The main job: generates a few seconds of a target's stream with the simulator,
# then replays it through the receiver and prints what was found.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
dir="${VINTREL_BUILD_DIR:-build}"
mkdir -p out
"$dir/sim/vintrel-sim" --protocol new --format "8 Ksps, 4 ms" --seconds 5 --bad-checksum-every 300 --skip-frame-every 400 --garbage-every 150 \
    --output out/sample.bin
"$dir/cli/vintrel-cli" inspect out/sample.bin --format "8 Ksps, 4 ms" | tail -n 8
