#!/usr/bin/env bash
# Start-up with no network at all (a namespace with only loopback, no proxy): the error
# box with an empty title and no main window; three seconds after it is answered the
# program ends with exit code 0.
source "$(dirname "$0")/lib.sh"
if ! unshare --net true 2>/dev/null; then
    echo "SKIP: this machine cannot make a network namespace"
    exit 0
fi
e2e_setup
NO_PROXY_FOR_APP=1 start_app unshare --net

box=$(message_box)
check "the error box comes up" test -n "$box"
check "its title is empty" title_is_empty "$box"
check "the main window is never shown" test -z "$(xdotool search --onlyvisible --name 'Morvane' 2>/dev/null)"
import -window root "$WORK/no_network.png" 2>/dev/null

xdotool windowactivate --sync "$box" key Return
answered=$(date +%s%N)
sleep 1
check "nothing of the program is on the screen during the pause" \
    test -z "$(xdotool search --onlyvisible --class morvane-resolver 2>/dev/null)"
wait_for_exit 15
elapsed=$((($(date +%s%N) - answered) / 1000000))
echo "ended ${elapsed} ms after the box was answered"
check "exit code 0" equals "$EXIT_CODE" 0
check "about three seconds after the answer" test "$elapsed" -ge 2800 -a "$elapsed" -le 8000
check "no request reached the stand-in site" test ! -s "$WORK/site.log"
e2e_finish
