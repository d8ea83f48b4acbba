#!/usr/bin/env bash
# Fails when clang-format would change a tracked C++ file (.clang-format is the rule).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang-format
files=$(git ls-files '*.cpp' '*.h' '*.cc' '*.hpp')
if ! echo "$files" | xargs clang-format --dry-run --Werror; then
    echo "Formatting differs from .clang-format: run clang-format -i on the files above." >&2
    exit 1
fi
echo "clang-format: $(echo "$files" | wc -l) files formatted"
