#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, ASan + UBSan) and runs each for a set
# time, one after another, then merges what they found into the committed corpus,
# minimised. Findings land in fuzz/crashes/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS: time per target (default 60). TARGET: extraction, address, content_length,
# dump_name (default: all). MORVANE_FUZZ_RUNS=N also stops a target after N executions.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${MORVANE_FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(extraction address content_length dump_name)
fi

# The project's own packages (scripts/setup.sh lists them) and clang with the libFuzzer
# runtime.
packages=(
    cmake ninja-build pkg-config qt6-base-dev libboost-regex-dev libcurl4-openssl-dev
    libxcb1-dev clang libclang-rt-14-dev
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
    elif command -v sudo >/dev/null 2>&1; then
        as_root=(sudo)
    else
        echo "Missing packages; as root run: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

clangxx=$(command -v clang++ || command -v clang++-14)
cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$clangxx" -DMORVANE_FUZZ=ON >/dev/null
cmake --build "$build_dir" -j2 --target "${targets[@]/#/fuzz_}"

max_len_for() {
    case $1 in
    extraction) echo 4096 ;;
    address) echo 512 ;;
    content_length) echo 64 ;;
    dump_name) echo 512 ;;
    *) echo "unknown target: $1" >&2; exit 2 ;;
    esac
}

mkdir -p "$here/fuzz/crashes"
status=0
for target in "${targets[@]}"; do
    binary=$build_dir/fuzz/fuzz_$target
    corpus=$here/fuzz/corpus/$target
    work=$(mktemp -d)
    mkdir -p "$corpus" "$work/new" "$work/merged"
    options=(-max_len="$(max_len_for "$target")" -max_total_time="$seconds" -timeout=10
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$here/fuzz/crashes/$target-")
    if [ -n "${MORVANE_FUZZ_RUNS:-}" ]; then
        options+=(-runs="$MORVANE_FUZZ_RUNS")
    fi
    if [ -f "$here/fuzz/$target.dict" ]; then
        options+=(-dict="$here/fuzz/$target.dict")
    fi
    echo "== $target: ${seconds} s"
    # New inputs go to the first folder; the committed corpus is read as seeds.
    if ! "$binary" "${options[@]}" "$work/new" "$corpus" 2>"$work/log"; then
        status=1
        echo "!! $target: finding, see fuzz/crashes/ and the log below" >&2
    fi
    grep -E "^(stat::|#[0-9]+ +DONE|==[0-9]+==|SUMMARY|.*property broken)" "$work/log" || true
    tail -n 3 "$work/log"
    # Minimise: keep the smallest set of inputs that covers what both folders cover.
    "$binary" -merge=1 -max_len="$(max_len_for "$target")" "$work/merged" "$corpus" "$work/new" \
        2>>"$work/log" >/dev/null
    if [ -n "$(ls -A "$work/merged")" ]; then
        rm -f "$corpus"/*
        cp "$work/merged"/* "$corpus"/
    fi
    echo "   corpus: $(ls "$corpus" | wc -l) files, $(cat "$corpus"/* | wc -c) bytes"
    rm -rf "$work"
done
exit $status
