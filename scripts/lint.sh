#!/usr/bin/env bash
# Runs clang-tidy (the checks of .clang-tidy, every finding an error) over the translation units of
# the Qt-free targets, as compile_commands.json of the build directory lists them; diagnostics in
# the repository's own headers count, those in system and generated headers do not. Prints the
# findings and fails when there is one. Needs a configured build directory (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

# The targets linted; a name the build does not define is skipped.
targets=(vintrel_core vintrel_platform vintrel_engine)

dir="${VINTREL_BUILD_DIR:-build}"
db="$dir/compile_commands.json"
if [ ! -f "$db" ]; then
    echo "lint: $db is missing; run scripts/build.sh first." >&2
    exit 1
fi
scripts/install-deps.sh clang-tidy python3
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)

# A compile command's output lies under CMakeFiles/<target>.dir/.
mapfile -t files < <(python3 - "$db" "${targets[@]}" <<'EOF'
import json, re, sys
targets = set(sys.argv[2:])
files = set()
for entry in json.load(open(sys.argv[1])):
    where = entry.get("output", "") + " " + entry.get("command", " ".join(entry.get("arguments", [])))
    match = re.search(r"CMakeFiles/([^/ ]+)\.dir/", where)
    if match and match.group(1) in targets:
        files.add(entry["file"])
print("\n".join(sorted(files)))
EOF
)
if [ ${#files[@]} -eq 0 ]; then
    echo "lint: no translation unit of ${targets[*]} in $db" >&2
    exit 1
fi

# The folders that hold the sources; a header below build/ is generated and left out.
folders=$(git ls-files '*.h' | grep / | cut -d/ -f1 | sort -u | paste -sd'|')
filter="^$root/($folders)/"

start=$(date +%s)
status=0
printf '%s\n' "${files[@]}" |
    xargs -P "${VINTREL_LINT_JOBS:-2}" -I{} sh -c \
        'out=$("$0" -p "$1" --quiet --header-filter="$2" "$3" 2>&1) || { printf "%s\n" "$out"; exit 1; }' \
        "$tidy" "$dir" "$filter" {} || status=1
seconds=$(($(date +%s) - start))
if [ $status -ne 0 ]; then
    echo "clang-tidy: findings above (checks in .clang-tidy)" >&2
    exit 1
fi
echo "clang-tidy: ${#files[@]} files of ${targets[*]} clean (${seconds} s)"
