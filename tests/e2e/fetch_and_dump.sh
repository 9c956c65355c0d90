#!/usr/bin/env bash
# Paste an address and press Enter with "调试输出" ticked: the dump file beside the
# program holds exactly the rows of the page.
source "$(dirname "$0")/lib.sh"
e2e_setup
start_app
window=$(main_window)
check "the main window is mapped" test -n "$window"

xdotool windowactivate --sync "$window"
click_at "$window" 428 80 # tick "调试输出"
printf '%s' "http://v.morvane.test/v/12/12345.shtml" | xclip -selection clipboard -i
sleep 0.2
click_at "$window" 200 40
xdotool key ctrl+v Return

title="Twelve Bridges"
description="A city walk across twelve bridges, one part per bridge. Published by Palvero."
dump="$WORK/app/$title$description.txt"
check "the dump file is written beside the program" wait_for_file "$dump" 10

expected="$WORK/expected.txt"
{
    printf '%s%s\r\n' "$title" "$description"
    for i in $(seq 1 12); do printf '%s\r\n' $((1048576 * (i + 3))); done
    for i in $(seq 1 12); do printf 'http://media.morvane.test:8080/v/12345/%s.flv\r\n' "$i"; done
} > "$expected"
check "the dump holds exactly the rows" cmp "$dump" "$expected"
check "the page was fetched with HTTP/1.0" grep -q "^GET http://v.morvane.test/v/12/12345.shtml HTTP/1.0$" "$WORK/site.log"
e2e_finish
