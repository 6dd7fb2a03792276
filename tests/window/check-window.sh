#!/bin/sh
# The window display in a real window, under Wine on a virtual X display,
# for one architecture: the scripted demo session through it (run-demo
# --window, checked as the demo's own session is), then a known screen in
# the same X display and prefix, whose dots are checked pixel by pixel, whose
# print line is read from its edit control, and whose routing key 12 and two
# display keys are clicked and must reach the host as their key codes.
#   check-window.sh SRC CROSS_BUILD NATIVE_BUILD OUT [--x64]
set -u
src=$1 cross=$2 native=$3 out=$4 x64=${5:-}
. "$src/tests/demo/skip-unless-runnable.sh"
skip_unless_runnable "$src" "$cross" "$x64" window
for tool in Xvfb xdotool socat import convert; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is missing: run tools/install-deps.sh"; exit 1; }
done
t0=$(date +%s)
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# The prefix stays from one run to the next, as the demo's does.
rm -rf "$out/screen"
mkdir -p "$out"
# One X display of the test's own serves every check of this architecture.
unset DISPLAY
. "$src/tools/window/session.sh"
session=$out/session screen=$out/screen
mkdir -p "$screen"
wa=win32 prefix=$session/wine
[ "$x64" = --x64 ] && wa=win64 prefix=$session/wine64
wineprefix=$native/tools/wine/wine-prefix
cleanup() {
    "$wineprefix" down "$prefix" --arch $wa --work "$prefix-setup" >>"$screen/wine.log" 2>&1
    stop_window_session
}
trap cleanup EXIT
start_x_display "$out" || exit 1

# The session: run-demo --window, with the demo's checks.
sh "$src/tests/demo/check-session.sh" "$src" "$cross" "$native" "$session" "$x64" --window >"$out/session.txt" 2>&1 ||
    fail "the demo session through the window: $(cat "$out/session.txt")"
t1=$(date +%s)

# The known screen, in the session's prefix with a new pair on the same
# links, so that the ports need no registering again. Text cell 12 is '=',
# which the cursor that routing key 12 puts there fills to all 8 dots.
line1='Brl window =  test, Known SCREEN: dots!#'
line2='Second line'
start_null_modem "$session" || exit 1
"$wineprefix" up "$prefix" --arch $wa --work "$prefix-setup" \
    --com COM5="$session/host-port" --com COM6="$session/display-port" >"$screen/wine.log" 2>&1 ||
    { fail "the prefix did not come up: $(cat "$screen/wine.log")"; exit 1; }
export WINEPREFIX="$prefix" WINEARCH=$wa WINEDEBUG=-all
cp "$cross/tests/window/probe/window-probe.exe" "$session/bin/"
run() { (cd "$session/bin" && "$src/tools/wine-run" $wa "$@"); }
# Waits up to 20 s for a line matching PATTERN in FILE.
wait_for() {
    i=0
    until grep -q -- "$2" "$1" 2>/dev/null; do
        i=$((i + 1))
        [ $i -gt 200 ] && { fail "expected '$2' in $1, got: $(cat "$1")"; return 1; }
        sleep 0.1
    done
}
run brl-virtual-display.exe COM6 --size 960x172 --trace "$screen/trace.txt" >"$screen/window.txt" 2>&1 &
window=$!
wait_for "$screen/trace.txt" '-- *display: ' || exit 1
run brlhost.exe --seconds 60 "COM5:38400,n,8,1" "$line1" "$line2" >"$screen/host.txt" 2>&1 &
host=$!
wait_for "$screen/host.txt" '^show: ' || exit 1
id=$(xdotool search --name '^brl-virtual-display COM6$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$id")"
# Client-area positions as docs/virtual-display.md gives them for a width
# of 960 and 40 text cells: pitch 20, dot step 6; the routing key over text
# cell n is column n + 5, from y 8 to 28; the keys' row is at y 112, key i
# (0: key 1, ..., 10: key 36) from x 8 + 76 i, 72 wide, 26 high; the power
# switch 8 to the right of the last key, 96 wide.
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; }
click $((8 + (12 + 5) * 20 + 10)) 18
wait_for "$screen/host.txt" 'argument 12: cursor' &&
    wait_for "$screen/trace.txt" 'H>D cells: status 34 02 00 34 02 text 43 17 07 00 3A 0A 1D 19 15 3A 00 FF'
# The window paints before it sets the print line; the X server shows the
# paint soon after.
sleep 0.5
import -window "$id" PNG24:"$screen/window.png"
convert "$screen/window.png" "$screen/window.ppm"
# B (1 2 7), r (1 2 3 5), = with the cursor (all 8), a blank, K (1 3 7),
# # at the end (3 4 5 6); status 0 (3 5 6) and 1 (2).
python3 "$src/tests/window/check-dots.py" "$screen/window.ppm" 960 40 \
    t1=43 t2=17 t12=FF t13=00 t21=45 t40=3C s1=34 s2=02 >"$screen/dots.txt" ||
    fail "expected the dots of the known screen, got:
$(cat "$screen/dots.txt")"

print=$(run window-probe.exe print | tr -d '\r')
[ "$print" = "$line1" ] || fail "expected the print line '$line1', got '$print'"

click $((8 + 3 * 76 + 36)) 125    # key 4: next line
wait_for "$screen/host.txt" '^key 0x80000004 argument 0: next line'
click $((8 + 10 * 76 + 36)) 125   # key 36: the host quits
wait "$host"
click $((8 + 11 * 76 + 8 + 48)) 125 # the power switch
keys=$(grep '^key ' "$screen/host.txt" | tr -d '\r')
expected='key 0x80000081 argument 12: cursor
key 0x80000004 argument 0: next line
key 0x80000024 argument 0: quit'
[ "$keys" = "$expected" ] || fail "expected the clicks to reach the host as:
$expected
got:
$keys"
wait_for "$screen/trace.txt" '-- *power off' &&
    run window-probe.exe close && wait "$window" && wait_for "$screen/trace.txt" '-- *session ends'
sent=$(sed -n 's/^ *[0-9.]* D>H \([^|]*\) |.*/\1/p' "$screen/trace.txt" | sed 's/ *$//')
expected_sent='model reply 3F 01 00
routing r=11
key k1=00 k2=08
key k1=01 k2=00'
[ "$sent" = "$expected_sent" ] || fail "expected the window to send:
$expected_sent
got:
$sent"
t2=$(date +%s)
cleanup
trap - EXIT
unset WINEPREFIX WINEARCH
left=$(sh "$src/tools/wine/check-no-wine-left.sh" "$session") || fail "$left"

if [ $failed != 0 ]; then
    echo "--- window: $(cat "$screen/window.txt")"
    exit 1
fi
cat "$screen/dots.txt"
echo "window as expected: session $((t1 - t0)) s, known screen and clicks $((t2 - t1)) s"
