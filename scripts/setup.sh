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
    xvfb openbox xdotool xclip x11-utils imagemagick
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -eq 0 ]; then
        as_root=()
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        as_root=(sudo -n)
    elif command -v sudo >/dev/null 2>&1; then
        echo "Packages are missing; sudo will ask for your password to install them." >&2
        as_root=(sudo)
    else
        echo "These Debian packages are missing and this user can neither install them" >&2
        echo "as root nor through sudo:" >&2
        echo "    apt-get install ${missing[*]}" >&2
        echo "Run that as root, then run this command again." >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build_dir" -G Ninja ${MORVANE_CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
