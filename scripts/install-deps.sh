#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks with their peers (sox, FFTW)
# need, and those the install check and the Debian package need (desktop-file-utils, man-db,
# dpkg-dev with file for dpkg-shlibdeps), only those that are missing. Where they cannot be
# installed (no apt-get, or neither root nor sudo), names the missing ones and goes on: the build
# then says whether it can do without.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev python3
          qt6-base-dev qt6-multimedia-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
          sox sndfile-programs libfftw3-dev procps pulseaudio pulseaudio-utils fonts-dejavu-core xvfb xauth
          desktop-file-utils man-db dpkg-dev file)
packages+=("$@")

# Without dpkg, whether a package's part is there: a command it brings or a pkg-config module.
present_without_dpkg() {
    local probe
    case "$1" in
    build-essential) probe="cmd:c++ cmd:make" ;;
    ninja-build) probe="cmd:ninja" ;;
    libgtest-dev) probe="pc:gtest" ;;
    libgmock-dev) probe="pc:gmock" ;;
    libbenchmark-dev) probe="pc:benchmark" ;;
    qt6-base-dev) probe="pc:Qt6Widgets" ;;
    qt6-multimedia-dev) probe="pc:Qt6Multimedia" ;;
    qt6-charts-dev) probe="pc:Qt6Charts" ;;
    libqt6opengl6-dev) probe="pc:Qt6OpenGL" ;;
    libgl-dev) probe="pc:gl" ;;
    libfftw3-dev) probe="pc:fftw3" ;;
    sndfile-programs) probe="cmd:sndfile-info" ;;
    procps) probe="cmd:pgrep" ;;
    pulseaudio-utils) probe="cmd:pactl" ;;
    fonts-dejavu-core) probe="font:DejaVu" ;;
    xvfb) probe="cmd:Xvfb" ;;
    desktop-file-utils) probe="cmd:desktop-file-validate" ;;
    man-db) probe="cmd:man" ;;
    dpkg-dev) probe="cmd:dpkg-shlibdeps" ;;
    *) probe="cmd:$1" ;;
    esac
    local p
    for p in $probe; do
        case "$p" in
        cmd:*) command -v "${p#cmd:}" >/dev/null 2>&1 || return 1 ;;
        pc:*) pkg-config --exists "${p#pc:}" 2>/dev/null || return 1 ;;
        font:*) fc-list 2>/dev/null | grep -q "${p#font:}" || return 1 ;;
        esac
    done
}

missing=()
for p in "${packages[@]}"; do
    if command -v dpkg-query >/dev/null 2>&1; then
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    else
        present_without_dpkg "$p" || missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if command -v apt-get >/dev/null 2>&1 && { [ -z "$sudo" ] || command -v sudo >/dev/null 2>&1; }; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    exit 0
fi

{
    echo "These Debian packages are missing: ${missing[*]}"
    if command -v apt-get >/dev/null 2>&1; then
        echo "This script installs them with apt-get as root or through sudo, and has neither."
        echo "Install them as root:  apt-get install ${missing[*]}"
    else
        echo "There is no apt-get here: install what your system calls them (a C++20 compiler, CMake,"
        echo "Ninja, pkg-config, Qt 6 Base, Multimedia and Charts, GoogleTest, Google Benchmark, FFTW,"
        echo "Python 3, sox, Xvfb, PulseAudio and the DejaVu fonts), then run this again."
    fi
    echo "Going on without them; the build stops if it needs one."
} >&2
