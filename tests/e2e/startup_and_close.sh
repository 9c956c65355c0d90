#!/usr/bin/env bash
# Start-up with the Internet reachable: the window opens centred at its outer size with
# its title, and Esc ends the program with exit code 0.
source "$(dirname "$0")/lib.sh"
e2e_setup
start_app

window=$(main_window)
check "the main window is mapped" test -n "$window"

# Client geometry plus the frame the window manager put around it.
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
eval "$(xdotool getwindowgeometry --shell "$window")"
client_position "$window"
check "outer width is 505" equals "$((WIDTH + left + right))" 505
check "outer height is 250" equals "$((HEIGHT + top + bottom))" 250
check "centred horizontally" equals "$((CLIENT_X - left))" "$(((SCREEN_WIDTH - 505) / 2))"
check "centred vertically" equals "$((CLIENT_Y - top))" "$(((SCREEN_HEIGHT - 250) / 2))"
check "title" equals "$(xdotool getwindowname "$window")" \
    "Morvane视频地址解析器 - Palvero[palvero.example]"
check "the window has the keyboard focus" equals "$(xdotool getwindowfocus)" "$window"
check "the probe asked the stand-in site" grep -q "^GET http://connectivitycheck" "$WORK/site.log"

xdotool windowactivate --sync "$window" key Escape
wait_for_exit 10
check "Esc ends the program with exit code 0" equals "$EXIT_CODE" 0
e2e_finish
