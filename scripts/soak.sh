#!/usr/bin/env bash
# Soak test: vintrel-cli record in a loop and vintrel-cli monitor with three forwarding clients,
# both against vintrel-sim with every kind of damage, for MINUTES (default 30). Installs what is
# missing, builds into build/ (or $VINTREL_BUILD_DIR), runs scripts/soak.py and exits with its
# status: 0 when every check passed. Options after MINUTES go to soak.py:
#   --results DIR         summary (soak-summary.txt) and logs there instead of a temporary folder
#   --record-seconds N    length of each recording (default 8)
#   --keep                keep every run's files and the copy of the forwarded stream
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec python3 scripts/soak.py --build-dir "${VINTREL_BUILD_DIR:-build}" "$@"
