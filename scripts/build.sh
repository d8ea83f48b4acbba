#!/usr/bin/env bash
# Configures and builds into build/ (or $VINTREL_BUILD_DIR). Extra arguments go to cmake.
# $VINTREL_BUILD_TARGETS (space-separated target names) builds only those; by default everything.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${VINTREL_BUILD_DIR:-build}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${VINTREL_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
# shellcheck disable=SC2086 # the target list is split on purpose
cmake --build "$dir" ${VINTREL_BUILD_TARGETS:+--target $VINTREL_BUILD_TARGETS}
