#!/usr/bin/env bash
# After a fetch of the example page (GBK): a right press hands the selected row to the
# desktop's opener, and a double-click puts a row's exact bytes on the X clipboard.
source "$(dirname "$0")/lib.sh"
e2e_setup
start_app
window=$(main_window)
check "the main window is mapped" test -n "$window"

xdotool windowactivate --sync "$window" key Return # fetches the example address
sleep 1
check "the example page was fetched" grep -q "^GET http://v.morvane.test/v/38/38534.shtml" "$WORK/site.log"

# Row 5, the first media address, is selected after the fetch; press on row 0.
click_at "$window" 100 98 3
check "the opener ran" wait_for_file "$WORK/opened" 10
check "the opener got the selected row, not the pressed one" \
    equals "$(cat "$WORK/opened")" "http://media.morvane.test:8080/v/38534/1.flv"
check "as one argument" equals "$(cat "$WORK/opened.count")" 1

double_click_at "$window" 100 98
sleep 0.5
expected=$(printf '%s' '山城雨夜' | iconv -f UTF-8 -t GBK | od -An -tx1 | tr -d " \n")
actual=$(xclip -o -selection clipboard | od -An -tx1 | tr -d " \n")
check "the clipboard holds the title's GBK bytes" equals "$actual" "$expected"
e2e_finish
