#!/usr/bin/env bash
# An address outside the site: the refusal box, nothing fetched, the list left empty.
source "$(dirname "$0")/lib.sh"
e2e_setup
start_app
window=$(main_window)
check "the main window is mapped" test -n "$window"

xdotool windowactivate --sync "$window"
click_at "$window" 200 40 # a left press empties the address box
xdotool type --delay 5 "http://www.example.test/v/1/1.shtml"
xdotool key Return

box=$(message_box)
check "the refusal box comes up" test -n "$box"
check "its title is empty" title_is_empty "$box"
xdotool windowactivate --sync "$box" key Return
sleep 0.5

check "nothing but the probe was requested" equals "$(grep -c . "$WORK/site.log")" 1
# The list's inside is plain white: no row was added.
import -window "$window" "$WORK/window.png"
mean=$(convert "$WORK/window.png" -crop 470x100+15+95 +repage -format '%[fx:minima.r*255]' info:)
check "the result list is empty" equals "$mean" 255
check "the program is still running" kill -0 "$APP_PID"
e2e_finish
