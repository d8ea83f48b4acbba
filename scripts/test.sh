#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
dir="${VINTREL_BUILD_DIR:-build}"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
