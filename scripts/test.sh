#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds, checks that each layer includes only
# the layers below it (scripts/check-layers.sh) and runs the whole test suite; installs the build
# into a temporary prefix, runs the installed programs and builds the Debian package
# (scripts/check-install.sh); then the hardening jobs: the fuzzers, the tests under
# AddressSanitizer + UndefinedBehaviorSanitizer and the threaded tests under ThreadSanitizer in the
# build without Qt (scripts/sanitize.sh; VINTREL_QUICK=1 leaves them out).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
scripts/build.sh
dir="${VINTREL_BUILD_DIR:-build}"
scripts/check-layers.sh "$dir"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
scripts/check-install.sh "$dir"
if [ "${VINTREL_QUICK:-0}" != 1 ]; then
    scripts/sanitize.sh
fi
