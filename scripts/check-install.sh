#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses it as a new user would: the installed layout
# (no libQuendel.so), --version and --help of the programs (the window's without a display), a
# simulated record parsed with vintrel-cli, the window run offscreen and closed with SIGTERM
# (its configuration lands in the XDG folder, nothing is written into the prefix), then the
# Debian package from cpack and its contents, the desktop entry and the manual pages.
#
# Usage: scripts/check-install.sh BUILD_DIR
# Every check runs; each failure is named, and the script fails when any check did.
set -euo pipefail
[ $# -eq 1 ] || {
    echo "usage: scripts/check-install.sh BUILD_DIR" >&2
    exit 2
}
build="$(cd "$1" && pwd)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || {
    echo "check-install: no project version in $build/CMakeCache.txt" >&2
    exit 2
}
started=$SECONDS

tmp="$(mktemp -d)"
winpid=""
cleanup() {
    [ -n "$winpid" ] && kill -KILL "$winpid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

failures=()
say() { echo "check-install: $*"; }
fail() {
    echo "check-install: FAILED: $*" >&2
    failures+=("$1")
}
# A group of checks: "group" before it; "verdict TEXT" after it says whether all of it passed.
group() { failed_before=${#failures[@]}; }
verdict() {
    if [ ${#failures[@]} -eq "$failed_before" ]; then say "ok: $*"; else say "FAILED: $*"; fi
}
# Shows a log file indented after a failure.
show() {
    if [ -s "$1" ]; then sed 's/^/    | /' "$1" | head -n 40 >&2 || true; fi
}

prefix="$tmp/prefix"
say "installing $build into $prefix"
if ! cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || [ ! -d "$prefix" ]; then
    show "$tmp/install.log"
    echo "check-install: FAILED: cmake --install $build installed nothing" >&2
    exit 1
fi

# A user of our own: every per-user folder in the temporary place, nothing from the caller's.
export HOME="$tmp/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_STATE_HOME="$HOME/.local/state" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$tmp/runtime"
unset XDG_CONFIG_DIRS XDG_DATA_DIRS
mkdir -p "$HOME" "$tmp/work"
mkdir -m 0700 "$XDG_RUNTIME_DIR"
cd "$tmp/work"

# --- The installed layout.
group
layout=(bin/vintrel bin/vintrel-cli bin/vintrel-sim
    share/applications/vintrel.desktop
    share/icons/hicolor/scalable/apps/vintrel.svg
    share/icons/hicolor/48x48/apps/vintrel.png
    share/icons/hicolor/128x128/apps/vintrel.png
    share/icons/hicolor/256x256/apps/vintrel.png
    share/man/man1/vintrel.1 share/man/man1/vintrel-cli.1 share/man/man1/vintrel-sim.1
    share/doc/vintrel/README.md share/doc/vintrel/manual.html share/doc/vintrel/docs/performance.md)
for f in "${layout[@]}"; do
    [ -f "$prefix/$f" ] || fail "layout: $f is not installed"
done
for px in 48 128 256; do
    icon="share/icons/hicolor/${px}x$px/apps/vintrel.png"
    [ ! -f "$prefix/$icon" ] || file "$prefix/$icon" | grep -q "PNG image data, $px x $px," ||
        fail "layout: $icon is not a $px x $px PNG"
done
if [ -z "$(find "$prefix/share/vintrel" -type f 2>/dev/null)" ]; then
    fail "layout: share/vintrel/ (the mark of an installed program) is missing or empty"
fi
quendel="$(find "$prefix" -name 'libQuendel*')"
[ -z "$quendel" ] || fail "layout: libQuendel.so must stay inside the programs, found ${quendel#"$prefix"/}"
for p in vintrel vintrel-cli vintrel-sim; do
    [ -f "$prefix/bin/$p" ] || continue
    if readelf -d "$prefix/bin/$p" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
        fail "layout: bin/$p looks for libraries in the build folder"
    fi
done
verdict "layout: $(find "$prefix" -type f | wc -l) files, $(du -sh "$prefix" | cut -f1)"

# The programs run with no display unless one is asked for.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

# --- --version of the three programs: "NAME VERSION" on one line, exit 0.
group
for p in vintrel vintrel-cli vintrel-sim; do
    rc=0
    out="$("${nodisplay[@]}" timeout 30 "$prefix/bin/$p" --version 2>"$tmp/err")" || rc=$?
    if [ $rc -ne 0 ] || [ "$out" != "$p $version" ]; then
        fail "$p --version: expected \"$p $version\" and exit 0, got \"$out\" (exit $rc)"
        show "$tmp/err"
    fi
done
verdict "--version of vintrel, vintrel-cli and vintrel-sim"

# --- The window program's --help without a display.
group
rc=0
"${nodisplay[@]}" timeout 30 "$prefix/bin/vintrel" --help >"$tmp/help" 2>&1 || rc=$?
if [ $rc -ne 0 ] || ! grep -qiE 'usage|options' "$tmp/help"; then
    fail "vintrel --help without a display: expected a usage text and exit 0, got exit $rc"
    show "$tmp/help"
fi
verdict "vintrel --help without a display"

# --- A simulated record parsed into WAV files.
group
rc=0
timeout 60 "$prefix/bin/vintrel-sim" --output "$tmp/work/sim.raw" --seconds 3 >"$tmp/sim.log" 2>&1 || rc=$?
if [ $rc -ne 0 ] || [ ! -s "$tmp/work/sim.raw" ]; then
    fail "vintrel-sim --output: exit $rc"
    show "$tmp/sim.log"
else
    rc=0
    mkdir "$tmp/work/wav"
    timeout 120 "$prefix/bin/vintrel-cli" parse "$tmp/work/sim.raw" --out "$tmp/work/wav" >"$tmp/parse.log" 2>&1 || rc=$?
    if [ $rc -ne 0 ] || ! ls "$tmp/work/wav/"*.wav >/dev/null 2>&1; then
        fail "vintrel-cli parse of the simulator's record: exit $rc, $(find "$tmp/work/wav" -name '*.wav' 2>/dev/null | wc -l) WAV files"
        show "$tmp/parse.log"
    fi
fi
verdict "vintrel-sim --output, then vintrel-cli parse: $(find "$tmp/work/wav" -name '*.wav' 2>/dev/null | wc -l) WAV files"

# --- The window, offscreen, closed by SIGTERM as by its close button.
group
listing() { (cd "$prefix" && find . -printf '%p %y %s %T@\n' | sort); }
listing >"$tmp/prefix.before"
QT_QPA_PLATFORM=offscreen env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/vintrel" >"$tmp/window.log" 2>&1 &
winpid=$!
# Running: not ended, nor ended and waiting to be reaped.
running() { kill -0 "$winpid" 2>/dev/null && ! grep -q '^State:\s*Z' "/proc/$winpid/status" 2>/dev/null; }
# Ready once it handles SIGTERM (caught, or blocked for a signal descriptor): bit 15 of the masks.
handles_term() {
    local mask
    for mask in $(sed -n 's/^Sig\(Cgt\|Blk\):\s*//p' "/proc/$winpid/status" 2>/dev/null); do
        (((0x$mask >> 14) & 1)) && return 0
    done
    return 1
}
deadline=$((SECONDS + 60))
while running && ! handles_term && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
if ! running; then
    rc=0
    wait "$winpid" || rc=$?
    winpid=""
    fail "window: ended by itself (exit $rc) instead of running"
    show "$tmp/window.log"
elif ! handles_term; then
    fail "window: no SIGTERM handler after 60 s (the signal would end it without writing its configuration)"
    kill -KILL "$winpid"
    wait "$winpid" 2>/dev/null || true
    winpid=""
else
    # A few seconds of the window running, then the signal.
    sleep 3
    kill -TERM "$winpid"
    rc=0
    deadline=$((SECONDS + 60))
    while running && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
    if running; then
        fail "window: still running 60 s after SIGTERM"
        kill -KILL "$winpid"
    fi
    wait "$winpid" || rc=$?
    winpid=""
    [ $rc -eq 0 ] || {
        fail "window: exit $rc after SIGTERM, expected 0"
        show "$tmp/window.log"
    }
fi
config="$XDG_CONFIG_HOME/vintrel/VintrelV4_0.config"
[ -s "$config" ] || fail "window: no configuration written to ${config#"$tmp"/}"
listing >"$tmp/prefix.after"
if ! cmp -s "$tmp/prefix.before" "$tmp/prefix.after"; then
    fail "window: wrote into the prefix"
    diff "$tmp/prefix.before" "$tmp/prefix.after" | sed 's/^/    | /' | head -n 20 >&2 || true
fi
verdict "window offscreen, closed by SIGTERM, configuration in \$XDG_CONFIG_HOME/vintrel"

# --- The desktop entry and the manual pages.
group
if [ -f "$prefix/share/applications/vintrel.desktop" ]; then
    desktop-file-validate "$prefix/share/applications/vintrel.desktop" >"$tmp/desktop.log" 2>&1 || {
        fail "desktop-file-validate share/applications/vintrel.desktop"
        show "$tmp/desktop.log"
    }
fi
for page in "$prefix"/share/man/man1/*.1; do
    warnings="$(man --warnings -l -Tutf8 -Z "$page" 2>&1 >/dev/null || echo "man failed on the page")"
    [ -z "$warnings" ] || {
        fail "man warnings in ${page#"$prefix"/}"
        echo "$warnings" | sed 's/^/    | /' | head -n 20 >&2
    }
done
verdict "desktop-file-validate and man --warnings"

# --- The Debian package.
group
rc=0
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/package" >"$tmp/cpack.log" 2>&1 || rc=$?
deb="$(find "$tmp/package" -maxdepth 1 -name '*.deb' 2>/dev/null | head -n 1)"
if [ $rc -ne 0 ] || [ -z "$deb" ]; then
    fail "cpack -G DEB: exit $rc, no package"
    show "$tmp/cpack.log"
else
    depends="$(dpkg-deb -f "$deb" Depends)"
    grep -qE '(^|, )libqt6widgets6' <<<"$depends" || fail "package: Depends does not name libqt6widgets6: $depends"
    grep -qE '(^|, )libqt6charts6' <<<"$depends" || fail "package: Depends does not name libqt6charts6: $depends"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package: version $(dpkg-deb -f "$deb" Version), expected $version"
    dpkg-deb -c "$deb" | awk '{print $6}' >"$tmp/contents"
    for f in usr/bin/vintrel usr/bin/vintrel-cli usr/bin/vintrel-sim usr/share/applications/vintrel.desktop \
        usr/share/icons/hicolor/scalable/apps/vintrel.svg usr/share/icons/hicolor/48x48/apps/vintrel.png \
        usr/share/man/man1/vintrel.1 usr/share/vintrel/README; do
        grep -qxF "./$f" "$tmp/contents" || fail "package: no $f"
    done
    ! grep -q 'libQuendel' "$tmp/contents" || fail "package: holds libQuendel.so"
    outside="$(grep -vxF './' "$tmp/contents" | grep -v '^\./usr/' | head -n 3 || true)"
    [ -z "$outside" ] || fail "package: files outside /usr: $outside"
    package="$(basename "$deb"), $(du -h "$deb" | cut -f1), Depends: $depends"
fi
verdict "Debian package ${package:-}"

if [ ${#failures[@]} -gt 0 ]; then
    echo "check-install: ${#failures[@]} check(s) failed in $((SECONDS - started)) s:" >&2
    printf '  - %s\n' "${failures[@]}" >&2
    exit 1
fi
say "all passed in $((SECONDS - started)) s"
