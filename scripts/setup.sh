#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12 packages), then configures
# and builds the project in build/ (or in $MORVANE_BUILD_DIR).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${MORVANE_BUILD_DIR:-$here/build}

packages=(
    # build
    cmake ninja-build g++ pkg-config
    qt6-base-dev libboost-regex-dev libcurl4-openssl-dev libxcb1-dev
    # run: CJK glyphs for the window's texts
    fonts-noto-cjk
    # end-to-end checks: a real X server, a window manager, input, clipboard, screenshots
    xvfb xauth openbox xdotool xclip x11-utils imagemagick
)

"$here/scripts/install-packages.sh" "${packages[@]}"

cmake -S "$here" -B "$build_dir" -G Ninja ${MORVANE_CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
