#!/usr/bin/env bash
# Sets up, builds and runs the tool on the current display.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
No display: the tool is a desktop window and needs a graphical session.
Run it from a desktop terminal, or on a headless machine under a virtual X server:
    xvfb-run -a -s "-screen 0 1024x768x24" scripts/run.sh
MSG
    exit 1
fi

exec "${MORVANE_BUILD_DIR:-$here/build}/morvane-resolver"
