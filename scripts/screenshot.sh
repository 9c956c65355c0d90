#!/usr/bin/env bash
# Takes docs/screenshot.png: the window after a fetch of the example address from the
# stand-in site, under Xvfb with openbox.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${MORVANE_BUILD_DIR:-$here/build}
"$here/scripts/setup.sh"

export MORVANE_APP="$build/morvane-resolver"
export MORVANE_SITE="$build/tools/morvane-standin-site"
export MORVANE_SITE_ROOT="$here/tools/standin"
source "$here/tests/e2e/lib.sh"
e2e_setup
start_app
window=$(main_window)
[ -n "$window" ] || { echo "the window did not come up" >&2; exit 1; }
xdotool windowactivate --sync "$window" key Return
sleep 1

read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
client_position "$window"
import -window root -crop "505x250+$((CLIENT_X - left))+$((CLIENT_Y - top))" +repage \
    "$here/docs/screenshot.png"
echo "wrote docs/screenshot.png"
