#!/usr/bin/env bash
# Sets up, builds and runs the tool on the current display, against the stand-in site:
# a local server that plays the video site, its media server and the connectivity
# check, reached as the tool's HTTP proxy. The example address works at once.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
"$here/scripts/setup.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
No display: the tool is a desktop window and needs a graphical session.
Run it from a desktop terminal, or on a headless machine under a virtual X server:
    xvfb-run -a -s "-screen 0 1024x768x24" scripts/run.sh
MSG
    exit 1
fi

work=$(mktemp -d)
site=
stop() {
    [ -n "$site" ] && kill "$site" 2>/dev/null && wait "$site" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT

"$build/tools/morvane-standin-site" --root "$here/tools/standin" --port-file "$work/port" &
site=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
done
if [ ! -s "$work/port" ]; then
    echo "The stand-in site did not start." >&2
    exit 1
fi

# The tool reads no settings of its own: the proxy is the system's setting.
status=0
env -u all_proxy -u ALL_PROXY -u https_proxy -u no_proxy -u NO_PROXY \
    http_proxy="http://127.0.0.1:$(cat "$work/port")" "$build/morvane-resolver" || status=$?
exit "$status"
