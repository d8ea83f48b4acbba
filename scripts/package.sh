#!/usr/bin/env bash
# Builds the Debian package: a Release build without the tests and benchmarks in build-package/
# (or $VINTREL_PACKAGE_DIR), then cpack -G DEB. Prints the package's path; install it with
# apt install ./vintrel_*.deb. Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir="${VINTREL_PACKAGE_DIR:-build-package}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVINTREL_TESTS=OFF -DVINTREL_BENCH=OFF "$@" >/dev/null
cmake --build "$dir"
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || {
    cat "$dir/cpack.log" >&2
    exit 1
}
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
realpath "$dir/vintrel_${version}_$(dpkg --print-architecture).deb"
