# Shared set-up of the end-to-end checks: a real X server (Xvfb) with a window manager
# (openbox), the stand-in site as the proxy, the real program copied into a temporary
# folder (so that its debug dumps land there), and a stand-in for the desktop's opener
# first in PATH. Each check script sources this file, calls e2e_setup, then uses
# start_app, the helpers below and check, and ends with e2e_finish.
#
# Needs: MORVANE_APP, MORVANE_SITE, MORVANE_SITE_ROOT in the environment (CTest sets them).

set -u

E2E_PASSED=0
E2E_FAILED=0
SCREEN_WIDTH=1024
SCREEN_HEIGHT=768

check() { # check "what" command...
    local what=$1
    shift
    if "$@"; then
        E2E_PASSED=$((E2E_PASSED + 1))
        echo "PASS: $what"
    else
        E2E_FAILED=$((E2E_FAILED + 1))
        echo "FAIL: $what"
    fi
}

equals() { [ "$1" = "$2" ] || { echo "  expected: $2" >&2; echo "  actual:   $1" >&2; return 1; }; }

e2e_cleanup() {
    [ -n "${APP_PID:-}" ] && kill "$APP_PID" 2>/dev/null
    [ -n "${SITE_PID:-}" ] && kill "$SITE_PID" 2>/dev/null
    [ -n "${WM_PID:-}" ] && kill "$WM_PID" 2>/dev/null
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    [ -n "${WORK:-}" ] && rm -rf "$WORK"
}

e2e_setup() {
    WORK=$(mktemp -d)
    trap e2e_cleanup EXIT
    mkdir -p "$WORK/app" "$WORK/bin" "$WORK/home"
    cp "$MORVANE_APP" "$WORK/app/morvane-resolver"
    APP="$WORK/app/morvane-resolver"

    cat > "$WORK/bin/xdg-open" <<SCRIPT
#!/bin/sh
printf '%s' "\$#" > "$WORK/opened.count"
printf '%s' "\$1" > "$WORK/opened.part" && mv "$WORK/opened.part" "$WORK/opened"
SCRIPT
    chmod +x "$WORK/bin/xdg-open"

    Xvfb -displayfd 1 -screen 0 "${SCREEN_WIDTH}x${SCREEN_HEIGHT}x24" -nolisten tcp \
        > "$WORK/display" 2> "$WORK/xvfb.log" &
    XVFB_PID=$!
    for _ in $(seq 200); do [ -s "$WORK/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$WORK/display")"
    HOME="$WORK/home" openbox > "$WORK/openbox.log" 2>&1 &
    WM_PID=$!
    for _ in $(seq 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.05
    done

    "$MORVANE_SITE" --root "$MORVANE_SITE_ROOT" --port-file "$WORK/site.port" \
        --log "$WORK/site.log" 2> "$WORK/site.err" &
    SITE_PID=$!
    for _ in $(seq 200); do [ -s "$WORK/site.port" ] && break; sleep 0.05; done
    PROXY="http://127.0.0.1:$(cat "$WORK/site.port")"
}

# start_app [prefix command...]: starts the program in the background, with the
# stand-in site as its proxy unless NO_PROXY_FOR_APP=1.
start_app() {
    local proxy_env=(http_proxy="$PROXY")
    [ "${NO_PROXY_FOR_APP:-0}" = 1 ] && proxy_env=()
    env -u http_proxy -u https_proxy -u all_proxy -u no_proxy -u HTTP_PROXY -u ALL_PROXY \
        -u NO_PROXY -u QT_QPA_PLATFORM HOME="$WORK/home" PATH="$WORK/bin:$PATH" \
        "${proxy_env[@]}" "$@" "$APP" > "$WORK/app.log" 2>&1 &
    APP_PID=$!
}

# Waits at most $1 seconds for the program to end and sets EXIT_CODE (124 when it is
# still running). Not in a subshell: only this shell can wait for its child.
wait_for_exit() {
    local limit=$1
    for _ in $(seq $((limit * 20))); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$APP_PID" 2>/dev/null; then
        EXIT_CODE=124
        return
    fi
    EXIT_CODE=0
    wait "$APP_PID" || EXIT_CODE=$?
    APP_PID=
}

# True when both title properties of window $1 are present and zero length.
title_is_empty() {
    local properties
    properties=$(xprop -id "$1" _NET_WM_NAME WM_NAME)
    [ "$properties" = "$(printf '_NET_WM_NAME(UTF8_STRING) = \nWM_NAME(STRING) = ')" ] ||
        { echo "  title properties: $properties" >&2; return 1; }
}

# The client area's absolute position: sets CLIENT_X and CLIENT_Y.
client_position() {
    CLIENT_X=$(xwininfo -id "$1" | awk '/Absolute upper-left X:/{print $4}')
    CLIENT_Y=$(xwininfo -id "$1" | awk '/Absolute upper-left Y:/{print $4}')
}

# The main window's id, once it is mapped (empty after 10 s without it).
main_window() { xdotool search --sync --onlyvisible --name 'Morvane视频地址解析器' 2>/dev/null | head -n1; }

# The id of a visible window of the program whose title is empty (a message box).
message_box() {
    for _ in $(seq 200); do
        for id in $(xdotool search --onlyvisible --class morvane-resolver 2>/dev/null); do
            if [ -z "$(xdotool getwindowname "$id" 2>/dev/null)" ] &&
                [ "$(xwininfo -id "$id" | awk '/Width:/{print $2}')" -gt 50 ]; then
                echo "$id"
                return
            fi
        done
        sleep 0.05
    done
}

# Mouse actions at a point of a window's client area.
click_at() { xdotool mousemove --window "$1" "$2" "$3" click "${4:-1}"; }
double_click_at() { xdotool mousemove --window "$1" "$2" "$3" click --repeat 2 --delay 60 1; }

# Waits until file $1 exists (at most $2 seconds).
wait_for_file() {
    for _ in $(seq $(($2 * 20))); do [ -e "$1" ] && return 0; sleep 0.05; done
    return 1
}

e2e_finish() {
    echo "$E2E_PASSED passed, $E2E_FAILED failed"
    [ "$E2E_FAILED" -eq 0 ]
}
