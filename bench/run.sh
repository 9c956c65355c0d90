#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench) and runs them all, then prints one table
# of medians and ratios:
#   - extraction (the four page searches and the rows) on generated pages, beside the
#     memmem reference scanner and, where it finishes in reasonable time, the plain loop;
#   - fetchPage + bytesToText of a 100 MiB body from a loopback server, beside curl
#     fetching the same body in the same run, with the fetch's peak memory, and beside
#     writing 100 MiB into fresh memory (what keeping the body costs by itself);
#   - start-up from exec to the window mapped under Xvfb, beside a bare Qt window and a
#     plain Qt window with the program's controls and texts (the cost of the content).
# Options from the environment: MORVANE_BENCH_REPS (repetitions, default 5),
# MORVANE_BENCH_STARTUP_REPS (start-ups of each program, default 15).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
reps=${MORVANE_BENCH_REPS:-5}
startupReps=${MORVANE_BENCH_STARTUP_REPS:-15}
bodyBytes=104857600

"$root/scripts/install-packages.sh" cmake ninja-build g++ pkg-config qt6-base-dev \
    libboost-regex-dev libcurl4-openssl-dev libxcb1-dev libbenchmark-dev fonts-noto-cjk \
    python3 curl xvfb x11-utils

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

echo "== build (Release, $build)" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BENCH=ON \
    -DMORVANE_TESTS=OFF >"$work/configure.log" || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$build" -j2 --target bench_extract bench_server bench_fetch bench_bare_window \
    bench_controls_window bench_startup_timer morvane-resolver >&2

# Starts `bench_server ARGS` in the background; sets serverPort to the port it listens on.
startServer() {
    local out="$work/server.${#pids[@]}"
    "$build/bench/bench_server" "$@" >"$out" &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$out" ] && break
        sleep 0.05
    done
    serverPort=$(head -n1 "$out")
    [ -n "$serverPort" ] || { echo "run.sh: bench_server $* did not start" >&2; exit 1; }
}

echo "== load before the run: $(uptime)" >&2

echo "== extraction ($reps repetitions)" >&2
"$build/bench/bench_extract" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true --benchmark_format=json \
    --benchmark_out="$work/extract.json" --benchmark_out_format=json >/dev/null

echo "== fetch ($reps runs of each, alternating)" >&2
startServer body "$bodyBytes"
url="http://127.0.0.1:$serverPort/page.html"
: >"$work/fetch.txt"
: >"$work/curl.txt"
: >"$work/hold.txt"
for _ in $(seq "$reps"); do
    env -u http_proxy -u all_proxy -u ALL_PROXY no_proxy='*' \
        "$build/bench/bench_fetch" "$url" >>"$work/fetch.txt"
    /usr/bin/time -f "%M" -o "$work/curl.rss" \
        curl --noproxy '*' -s -o /dev/null -w '%{time_total} %{size_download}' "$url" \
        >>"$work/curl.txt"
    echo " $(($(cat "$work/curl.rss") * 1024))" >>"$work/curl.txt"
    "$build/bench/bench_fetch" --hold "$bodyBytes" >>"$work/hold.txt"
done

echo "== start-up ($startupReps runs of each under Xvfb, alternating)" >&2
exec {displayFd}<> <(:)
Xvfb -displayfd "$displayFd" -screen 0 1024x768x24 -nolisten tcp -noreset \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$displayFd" display || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
startServer 204
probePort=$serverPort
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
timer="$build/bench/bench_startup_timer"
# One start of each first, so that both meet warm file and font caches.
"$timer" 505x250 "$build/bench/bench_bare_window" >/dev/null 2>&1
"$timer" 505x250 "$build/bench/bench_controls_window" >/dev/null 2>&1
http_proxy="http://127.0.0.1:$probePort" "$timer" 505x250 "$build/morvane-resolver" \
    >/dev/null 2>&1
: >"$work/bare.txt"
: >"$work/controls.txt"
: >"$work/program.txt"
for _ in $(seq "$startupReps"); do
    "$timer" 505x250 "$build/bench/bench_bare_window" 2>/dev/null >>"$work/bare.txt"
    "$timer" 505x250 "$build/bench/bench_controls_window" 2>/dev/null >>"$work/controls.txt"
    # The start-up probe goes through the proxy to a loopback server that answers 204.
    http_proxy="http://127.0.0.1:$probePort" no_proxy= \
        "$timer" 505x250 "$build/morvane-resolver" 2>/dev/null >>"$work/program.txt"
done

echo "== load after the run: $(uptime)" >&2

python3 - "$work" "$bodyBytes" <<'EOF'
import json, statistics, sys

work, body = sys.argv[1], int(sys.argv[2])

def numbers(name, column=0):
    with open(f"{work}/{name}") as f:
        return [float(line.split()[column]) for line in f if line.strip()]

medians = {}
for b in json.load(open(f"{work}/extract.json"))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        kind, page, size = b["run_name"].split("/")[:3]
        factor = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        medians[(kind, page, size)] = b["real_time"] * factor

print("### Extraction: the four searches and the rows (median ms)\n")
print("| page | size | extraction | reference scanner | ratio | plain loop (before) |")
print("|---|---|---:|---:|---:|---:|")
for (kind, page, size), ms in medians.items():
    if kind != "extract":
        continue
    ref = medians[("reference", page, size)]
    plain = medians.get(("plain", page, size))
    plainText = f"{plain:.3f}" if plain is not None else "not run"
    mbs = (1 << 20 if size.endswith("M") else 1 << 10) * int(size[:-1]) / (ms / 1e3) / 1e6
    print(f"| {page} | {size} | {ms:.3f} ({mbs:.0f} MB/s) | {ref:.3f} | {ms / ref:.2f}x | {plainText} |")

fetch = statistics.median(numbers("fetch.txt", 0))
peak = statistics.median(numbers("fetch.txt", 2))
curl = statistics.median(numbers("curl.txt", 0))
curlPeak = statistics.median(numbers("curl.txt", 2))
hold = statistics.median(numbers("hold.txt", 0))
mib = 1 << 20
print("\n### Fetch of a 100 MiB body from 127.0.0.1 (median)\n")
print("| | time s | throughput MB/s | peak memory MiB |")
print("|---|---:|---:|---:|")
print(f"| fetchPage + bytesToText | {fetch:.3f} | {body / fetch / 1e6:.0f} | {peak / mib:.0f} (added by the fetch) |")
print(f"| curl -o /dev/null | {curl:.3f} | {body / curl / 1e6:.0f} | {curlPeak / mib:.0f} (whole process) |")
print(f"| 100 MiB written into fresh memory, no network | {hold:.3f} | {body / hold / 1e6:.0f} | |")
print(f"\nThroughput ratio (fetch / curl): {curl / fetch:.2f}x; peak memory / body: {peak / body:.2f}x")
print(f"\nKeeping the body costs by itself {hold / curl:.2f}x curl's whole transfer; "
      f"curl's time plus that is {curl / (curl + hold):.2f}x curl's throughput")

bare = statistics.median(numbers("bare.txt"))
controls = statistics.median(numbers("controls.txt"))
program = statistics.median(numbers("program.txt"))
print("\n### Start-up, exec to the window mapped under Xvfb (median ms)\n")
print("| program | ms | ratio to the bare window |")
print("|---|---:|---:|")
print(f"| bare Qt window | {bare:.1f} | 1.00x |")
print(f"| Qt window with the same controls and texts | {controls:.1f} | {controls / bare:.2f}x |")
print(f"| morvane-resolver (probe via a loopback 204 proxy) | {program:.1f} | {program / bare:.2f}x |")
print(f"\nmorvane-resolver / the same controls and texts: {program / controls:.2f}x")
EOF
