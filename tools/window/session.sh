# What the window display needs around it on Linux, for tools/run-demo
# --window and the window's tests: a virtual X display where none is set,
# and a null-modem pair, a socat pty pair whose two ends a Wine prefix
# registers as two COM ports. Sourced:
#   . tools/window/session.sh
#   start_x_display DIR      sets DISPLAY (an Xvfb of its own when none is set)
#   start_null_modem DIR     DIR/host-port <-> DIR/display-port
#   stop_window_session      ends what the two started
# The pair carries bytes only: no modem line travels over it, so a host
# sees the display's power switch as silence, never as CTS off.
window_session_pids=""

start_x_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    : >"$1/xvfb.display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$1/xvfb.display" >"$1/xvfb.log" 2>&1 &
    window_session_pids="$window_session_pids $!"
    i=0
    while [ ! -s "$1/xvfb.display" ]; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "no virtual X display came up:" >&2; cat "$1/xvfb.log" >&2; return 1; }
        sleep 0.05
    done
    DISPLAY=:$(cat "$1/xvfb.display")
    export DISPLAY
}

start_null_modem() {
    rm -f "$1/host-port" "$1/display-port"
    socat pty,raw,echo=0,link="$1/host-port" pty,raw,echo=0,link="$1/display-port" 2>"$1/socat.log" &
    window_session_pids="$window_session_pids $!"
    i=0
    while [ ! -e "$1/host-port" ] || [ ! -e "$1/display-port" ]; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "socat made no pty pair:" >&2; cat "$1/socat.log" >&2; return 1; }
        sleep 0.05
    done
}

stop_window_session() {
    for pid in $window_session_pids; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $window_session_pids; do
        wait "$pid" 2>/dev/null || true
    done
    window_session_pids=""
}
