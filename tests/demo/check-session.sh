#!/bin/sh
# Runs the scripted demo session and checks what the display ended with,
# its decoded trace and the key reports the host printed. The x64 session
# (run-demo --x64, the 64-bit host and DLL) must give the same, and so must
# the session through the window display (run-demo --window), which also
# leaves its screenshot.
#   check-session.sh SRC CROSS_BUILD NATIVE_BUILD OUT [--x64] [--window]
set -u
src=$1 cross=$2 native=$3 out=$4 arch=${5:-} window=${6:-}
. "$src/tests/demo/skip-unless-runnable.sh"
skip_unless_runnable "$src" "$cross" "$arch" session
if [ "$arch" = --x64 ]; then
    set -- --x64 --win64-dir "$cross"
else
    set -- --win32-dir "$cross"
fi
[ "$window" = --window ] && set -- "$@" --window
"$src/tools/run-demo" --no-build "$@" --native-dir "$native" --out "$out" >"$out.log" 2>&1
rc=$?
failed=0
fail() { echo "FAIL: $*"; failed=1; }
[ $rc = 0 ] || fail "expected run-demo to exit 0, got $rc"

# The session ran the host and DLL of the build it was given.
for f in tools/brlhost/brlhost.exe brlwin32.dll; do
    cmp -s "$cross/$f" "$out/bin/$(basename $f)" || fail "expected the session to run $cross/$f"
done

# The host: the model it found and one report per scripted key, in order.
expected_keys='key 0x80000005 argument 0: pan right
key 0x80000005 argument 0: pan right
key 0x80000001 argument 0: pan left
key 0x80000004 argument 0: next line
key 0x80000081 argument 7: cursor
key 0x80000081 argument 12: cursor
key 0x8000003F argument 0: go to line
key 0x8000001F argument 0: sleep and wake
key 0x80000105 argument 0: first line
key 0x80000024 argument 0: quit'
got_keys=$(grep '^key ' "$out/host.txt" | tr -d '\r')
[ "$got_keys" = "$expected_keys" ] || fail "expected host keys:
$expected_keys
got:
$got_keys"
grep -q '^model: 40 text cells, 5 status cells (BrlInit returned 0x0528)' "$out/host.txt" ||
    fail "expected the host to report 40 text cells, got: $(grep '^model' "$out/host.txt")"
grep -q '^wake: BrlSleep(0) = 1' "$out/host.txt" || fail "expected a successful wake in the host's output"

# The trace: the identification, every scripted packet, nothing malformed.
msgs=$(sed -e 's/^ *[0-9.]* //' -e 's/ | .*//' "$out/trace.txt")
first=$(printf '%s\n' "$msgs" | grep -v '^-- ' | head -3)
expected_first='H>D query
D>H model reply 3F 01 00
H>D after-query 1B 49 00'
[ "$first" = "$expected_first" ] || fail "expected the trace to open with:
$expected_first
got:
$first"
expected_display='D>H model reply 3F 01 00
D>H key k1=00 k2=10
D>H key k1=00 k2=10
D>H key k1=00 k2=01
D>H key k1=00 k2=08
D>H routing r=0C
D>H routing r=11
D>H routing r=02
D>H key k1=20 k2=00
D>H key k1=00 k2=11
D>H key k1=01 k2=00'
got_display=$(printf '%s\n' "$msgs" | grep '^D>H')
[ "$got_display" = "$expected_display" ] || fail "expected the display to send:
$expected_display
got:
$got_display"
if grep -q malformed "$out/trace.txt"; then
    fail "expected no malformed traffic, got: $(grep malformed "$out/trace.txt")"
fi
# Status "01 01" and the first line, as the host showed it before quitting.
welcome='H>D cells: status 34 02 00 34 02 text 7A 11 07 09 15 0D 11 00 1E 15 00 03 17 07 3A 0A 1D 12 06 28 00 5E 13 0A 0E 00 07 0A 1D 11 00 0A 0E 00 07 15 1D 1B 11 17'
last_two=$(printf '%s\n' "$msgs" | grep '^H>D cells' | tail -2)
blank="H>D cells: status 00 00 00 00 00 text$(printf ' 00%.0s' $(seq 40))"
[ "$last_two" = "$welcome
$blank" ] || fail "expected the last two cell packets to be the first line and the blank of BrlTerminate, got:
$last_two"

# The display's final state: blank after BrlTerminate.
if [ "$window" != --window ]; then
    final=$(sed -n 3,4p "$out/final-frame.txt")
    expected_final="braille  ⠀⠀⠀⠀⠀    $(printf '⠀%.0s' $(seq 40))
print"
    [ "$final" = "$expected_final" ] || fail "expected a blank final frame, got:
$final"
fi
# The pictures: the last frame with text, and the window's screenshot.
pictures=frame
[ "$window" = --window ] && pictures="frame window"
for picture in $pictures; do
    [ -s "$out/$picture.png" ] || fail "expected the session to leave $picture.png"
done

# Every Wine process of the demo's prefix has gone with the demo.
left=$(sh "$src/tools/wine/check-no-wine-left.sh" "$out") || fail "$left"

if [ $failed != 0 ]; then
    echo "--- run-demo output ($out.log)"; cat "$out.log"
    exit 1
fi
echo "session as expected: $(grep -c '^key ' "$out/host.txt") key reports, $(wc -l <"$out/trace.txt") trace lines"
