#!/usr/bin/env bash
# The hardening jobs: the fuzzers for a while each, the tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer. The ThreadSanitizer build is
# also the build without Qt (VINTREL_GUI=OFF, Qt's CMake package hidden): it shows that the core,
# the platform layer, the engine, the simulator and the non-drawing verbs build and pass alone.
#
# Usage: scripts/sanitize.sh [fuzz] [asan] [tsan]     (no job named: all three)
#   VINTREL_FUZZ_SECONDS  how long each fuzzer runs (default 30)
# Build folders: build-fuzz (clang), build-asan and build-tsan (the default compiler).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(fuzz asan tsan)
scripts/install-deps.sh clang libclang-rt-14-dev

# Sanitizer builds compile at -O1 with line tables only: quick to build, quick enough to run.
configure() {
    local dir="$1"
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE= -DCMAKE_C_FLAGS="-O1 -g1" -DCMAKE_CXX_FLAGS="-O1 -g1" \
        -DVINTREL_BENCH=OFF "$@" >/dev/null
}

# The suites whose code runs on more than one thread: transports, the engine, forwarding, the
# simulator's pacing and the command-line tools that drive them. The window's tests are not built
# there: Qt itself is not built for ThreadSanitizer.
threaded='^(Threads|TransportLoop|FtdiTransportTest|TcpTransportTest|TcpConnectTest|SerialOpenTest'
threaded+='|ForwardServerTest|SimPacer|SimLive|MonitorCli|RecordCli|ParseCli|EngineTcp|EngineFtdiTest'
threaded+='|EngineSerial|EngineForwarding|EngineClock|RecordEngine|ListenQueue|DelayFeed)\.'
# The live frame-rate check times a sender of up to 500 frames a second and gives its verdict
# only while the monitor keeps up. Under the race detector the monitor takes about 225 a second on
# a busy 2-core machine, under the address checker about 250 on a heavily loaded one, so that one
# test runs in the plain build only (where it also runs beside two busy loops).
real_time_only='^MonitorCli\.TheStreamsRateAndFramesNameTheFormatThatFits$'

run_fuzz() {
    local seconds="${VINTREL_FUZZ_SECONDS:-30}"
    CC=clang CXX=clang++ configure build-fuzz -DVINTREL_FUZZ=ON -DVINTREL_SANITIZE=address,undefined \
        -DVINTREL_TESTS=OFF
    cmake --build build-fuzz --target fuzzers
    local work
    work="$(mktemp -d)"
    local failed=0
    for entry in $(sed -n 's/^ *\([a-z_]*\):Fuzz.*/\1/p' fuzz/CMakeLists.txt); do
        mkdir -p "$work/$entry"
        echo "fuzz_$entry: ${seconds} s"
        # New inputs go to a scratch folder; the committed corpus is only read.
        if ! (cd "$work" && "$root/build-fuzz/fuzz/fuzz_$entry" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$work/$entry-" "$work/$entry" "$root/fuzz/corpus/$entry" >"$work/$entry.log" 2>&1); then
            tail -n 60 "$work/$entry.log"
            echo "fuzz_$entry found a fault; the input is in $work" >&2
            failed=1
        else
            grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec' "$work/$entry.log" || true
        fi
    done
    [ $failed -eq 0 ] && rm -rf "$work"
    return $failed
}

run_asan() {
    configure build-asan -DVINTREL_SANITIZE=address,undefined
    cmake --build build-asan
    export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:check_initialization_order=1
    export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS=print_stacktrace=1
    # The mapping count of the in-memory loader's test sees the sanitizer's own mappings.
    ctest --test-dir build-asan --output-on-failure -j "$(nproc)" \
        -E "^QuendelMemory\.TenThousandObjectsLeaveNothingBehind\$|$real_time_only"
}

run_tsan() {
    configure build-tsan -DVINTREL_SANITIZE=thread -DVINTREL_GUI=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON
    cmake --build build-tsan
    local log=build-tsan/tsan-tests.log
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp" \
        ctest --test-dir build-tsan --output-on-failure -j "$(nproc)" \
        --output-log "$root/$log" -R "$threaded" -E "$real_time_only"
    if grep -q 'WARNING: ThreadSanitizer' "$log"; then
        grep -B2 -A30 'WARNING: ThreadSanitizer' "$log" | head -n 80
        echo "ThreadSanitizer reported a race (full output in $log)" >&2
        return 1
    fi
}

for job in "${jobs[@]}"; do
    case "$job" in
    fuzz) run_fuzz ;;
    asan) run_asan ;;
    tsan) run_tsan ;;
    *) echo "unknown job: $job (fuzz, asan or tsan)" >&2; exit 2 ;;
    esac
done
