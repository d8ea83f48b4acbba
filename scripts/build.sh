#!/usr/bin/env bash
# Configures and builds into build/ (or $VINTREL_BUILD_DIR). Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${VINTREL_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$dir"
